// The map's side of the icon libraries: its built-in "Default" library, the attached icon
// component and the bitmap drawn for notes whose picture cannot be found.

#include "component/korvane.h"

#include "icons/builtin_library.h"
#include "io/byte_source.h"

#include <cmath>

namespace kestrum {

namespace {

constexpr int kMissingIconSize = 32;
constexpr int32_t kRed = 0x0000FF, kWhite = 0xFFFFFF, kBlack = 0x000000, kYellow = 0x00FFFF;

} // namespace

void TKorvane::CreateIcons() {
    m_builtinIcons = std::make_unique<TQevIcon>();
    MemorySource bytes(builtinIconLibrary());
    m_builtinIcons->AddLibrary("Default").LoadFromStream(bytes);
    m_builtinIcons->AddClient(this);
    MakeMissingIcon();
}

void TKorvane::MakeMissingIcon() {
    // Red from the start: a back end that draws nothing (the null one) still leaves a red mark.
    m_missingIcon = TImage(kMissingIconSize, kMissingIconSize, pixelOf(kRed));
    TDrawObject& d = *m_draw;
    // The drawing object's fields belong to the renderer: put them back afterwards.
    const TCanvasBrush brush = d.Brush;
    const uint8_t opacity = d.Opacity;
    const std::string face = d.TextFace;
    const int32_t textHeight = d.TextHeight, textColor = d.TextColor;
    const bool bold = d.TextBold, plus = d.GDIPlus();

    d.SetGDIPlus(false); // drawn once, with the plain back end's hard edges
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

    d.SetGDIPlus(plus);
    d.Brush = brush;
    d.Opacity = opacity;
    d.TextFace = face;
    d.TextHeight = textHeight;
    d.TextColor = textColor;
    d.TextBold = bold;
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

const TImage& TKorvane::NoteBitmap(const TQEVMapZametka& note) {
    m_notePictureKey.assign(note.LibName.view());
    m_notePictureKey += '\0';
    m_notePictureKey += note.IconName.view();
    auto it = m_notePictures.find(m_notePictureKey);
    if (it == m_notePictures.end()) {
        // Names come from the file: a map naming thousands of pictures must not grow this.
        if (m_notePictures.size() >= 4096) m_notePictures.clear();
        const TImage* icon = IconSource().GetBitmap(note.LibName.view(), note.IconName.view());
        it = m_notePictures.emplace(m_notePictureKey, icon ? *icon : TImage()).first;
    }
    return it->second.empty() ? m_missingIcon : it->second;
}

} // namespace kestrum
