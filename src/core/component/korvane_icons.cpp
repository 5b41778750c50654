// The map's side of the icon libraries: its built-in "Default" library, the attached icon
// component and the bitmap drawn for notes whose picture cannot be found.

#include "component/korvane.h"

#include "icons/builtin_library.h"
#include "icons/mapinfo_symbols.h"
#include "io/byte_source.h"
#include "render/draw_state.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace kestrum {

namespace {

constexpr int kMissingIconSize = 32;
constexpr int32_t kRed = 0x0000FF, kWhite = 0xFFFFFF, kBlack = 0x000000, kYellow = 0x00FFFF;

} // namespace

void TKorvane::CreateIcons() {
    m_builtinIcons = std::make_unique<TQevIcon>();
    MemorySource bytes(builtinIconLibrary());
    m_builtinIcons->AddLibrary("Default").LoadFromStream(bytes);
    MemorySource symbols(builtinMapInfoLibrary());
    m_builtinIcons->AddLibrary(std::string(kMapInfoLibrary)).LoadFromStream(symbols);
    m_builtinIcons->AddClient(this);
    MakeMissingIcon();
}

void TKorvane::MakeMissingIcon() {
    // Red from the start: a back end that draws nothing (the null one) still leaves a red mark.
    m_missingIcon = TImage(kMissingIconSize, kMissingIconSize, pixelOf(kRed));
    TDrawObject& d = m_renderer.Draw();
    // The drawing object's fields belong to the renderer: put them back afterwards.
    const TDrawStateScope keep(d, dsBrush | dsOpacity | dsText);

    const TPlainModeScope plain(d); // drawn once, with the plain back end's hard edges
    d.SetCanvas(&m_missingIcon);
    d.FillRect({0, 0, 32, 32}, {kWhite, bsSolid, nullptr});
    d.FillRect({1, 1, 31, 31}, {kBlack, bsSolid, nullptr});
    d.FillRect({2, 2, 30, 30}, {kRed, bsSolid, nullptr});
    d.Brush = {kRed, bsClear, nullptr};
    d.Opacity = 255;
    d.TextFace = "Arial";
    // 8 points; Arial's cell is about 1.12 times its em.
    d.TextHeight = static_cast<int32_t>(std::lround(8.0 * d.ScreenDpi / 72.0 * 1.12));
    d.TextColor = kYellow;
    d.TextBold = false;
    d.DrawText(3, 4, false, "Error!", 0);
    d.SetCanvas(nullptr);
}

void TKorvane::ReleaseIcons() {
    // The built-in component goes with the members; an attached one lives on without us.
    if (m_qevMapIcon) m_qevMapIcon->RemoveClient(this);
    m_qevMapIcon = nullptr;
    if (m_builtinIcons) m_builtinIcons->RemoveClient(this);
}

void TKorvane::QevMapIcon(TQevIcon* icons) {
    if (icons == m_qevMapIcon) return;
    if (m_qevMapIcon) m_qevMapIcon->RemoveClient(this);
    m_qevMapIcon = icons;
    if (icons) icons->AddClient(this);
    m_notePictures.clear();
    NeedsFullRedraw = true;
    Invalidate();
}

void TKorvane::IconComponentDestroyed(TQevIcon& icons) {
    if (&icons == m_qevMapIcon) QevMapIcon(nullptr);
}

void TKorvane::IconLibrariesChanged(TQevIcon& icons) {
    if (&icons == &IconSource()) m_notePictures.clear();
}

namespace {

bool isMapInfoLibrary(std::string_view name) {
    name = trimmed(name);
    if (name.size() != kMapInfoLibrary.size()) return false;
    for (std::size_t i = 0; i < name.size(); ++i) {
        const auto up = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; };
        if (up(name[i]) != up(kMapInfoLibrary[i])) return false;
    }
    return true;
}

// A MapInfo symbol picture at `side` pixels with its ink in `color`. Each pixel looks at 4 x 4
// points of the source: at least half of them not transparent, it takes their average, else
// it stays transparent (a colour key shows no partial coverage).
TImage symbolPicture(const TImage& src, int32_t color, int side) {
    const uint32_t key = pixelOf(src.TransparentColor);
    uint32_t ink = pixelOf(color);
    if (src.Transparent && ink == key) ink ^= 0x100u; // the symbol must not vanish into the key
    TImage out(side, side, key);
    out.Transparent = src.Transparent;
    out.TransparentColor = src.TransparentColor;
    constexpr int kSub = 4;
    const double step = static_cast<double>(src.width()) / side, stepY = static_cast<double>(src.height()) / side;
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x) {
            int n = 0, r = 0, g = 0, b = 0;
            for (int sy = 0; sy < kSub; ++sy)
                for (int sx = 0; sx < kSub; ++sx) {
                    const int px = std::min(src.width() - 1, static_cast<int>((x + (sx + 0.5) / kSub) * step));
                    const int py = std::min(src.height() - 1, static_cast<int>((y + (sy + 0.5) / kSub) * stepY));
                    uint32_t p = src.pixel(px, py);
                    if (src.Transparent && (p & 0xFFFFFFu) == (key & 0xFFFFFFu)) continue;
                    if (colorRefOf(p) == kMapInfoInk) p = ink;
                    ++n, r += (p >> 16) & 0xFF, g += (p >> 8) & 0xFF, b += p & 0xFF;
                }
            if (2 * n < kSub * kSub) continue;
            uint32_t p = 0xFF000000u | (uint32_t((r + n / 2) / n) << 16) | (uint32_t((g + n / 2) / n) << 8) |
                         uint32_t((b + n / 2) / n);
            if (src.Transparent && p == key) p ^= 0x100u;
            out.setPixel(x, y, p);
        }
    return out;
}

} // namespace

const TImage& TKorvane::NoteBitmap(const TQEVMapZametka& note, const TQEVMapPen* pen) {
    const bool symbol = pen && isMapInfoLibrary(note.LibName.view());
    // Symbol sizes are points; 0 (no size) keeps the picture's own.
    int side = 0;
    if (symbol && pen->Width > 0 && std::isfinite(pen->Width))
        side = static_cast<int>(std::lround(std::clamp(double{pen->Width}, 1.0, 96.0) * m_renderer.Draw().ScreenDpi / 72.0));
    m_notePictureKey.assign(note.LibName.view());
    m_notePictureKey += '\0';
    m_notePictureKey += note.IconName.view();
    if (symbol) {
        m_notePictureKey += '\0';
        m_notePictureKey += std::to_string(pen->Color) + ":" + std::to_string(side);
    }
    auto it = m_notePictures.find(m_notePictureKey);
    if (it == m_notePictures.end()) {
        // Names come from the file: a map naming thousands of pictures must not grow this.
        if (m_notePictures.size() >= 4096) m_notePictures.clear();
        const TImage* icon = IconSource().GetBitmap(note.LibName.view(), note.IconName.view());
        bool builtin = &IconSource() == m_builtinIcons.get();
        if (!icon && symbol && !builtin) {
            icon = m_builtinIcons->GetBitmap(note.LibName.view(), note.IconName.view());
            builtin = true;
        }
        TImage picture;
        if (icon && symbol && builtin) picture = symbolPicture(*icon, pen->Color, side > 0 ? side : icon->width());
        else if (icon) picture = *icon;
        it = m_notePictures.emplace(m_notePictureKey, std::move(picture)).first;
    }
    return it->second.empty() ? m_missingIcon : it->second;
}

} // namespace kestrum
