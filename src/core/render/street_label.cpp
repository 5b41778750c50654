#include "render/street_label.h"

#include "render/draw_state.h"
#include "render/map_renderer.h"

#include <cmath>
#include <numbers>

namespace kestrum {

namespace {

// Names that read wrong in sentence case, in the map's code page.
struct Spelling {
    std::string from, to;
};
const std::vector<Spelling>& spellings() {
    static const std::vector<Spelling> table = [] {
        const std::pair<const char*, const char*> utf8[] = {
            {"АЗС", "АЗС"},
            {"АГЗС", "АГЗС"},
            {"КОМПЬЮТЕРЫ/ПО", "Компьютеры/ПО"},
            {"ПОСТ ГАИ", "Пост ГАИ"},
            {"РАДАР ГАИ", "Радар ГАИ"},
            {"ТОЧКА ДОСТУПА WI-FI", "Точка доступа Wi-Fi"},
        };
        std::vector<Spelling> t;
        for (const auto& [from, to] : utf8) t.push_back({fromUtf8(CodePage::Cp1251, from), fromUtf8(CodePage::Cp1251, to)});
        return t;
    }();
    return table;
}

} // namespace

void NormaliseStreetName(std::string& name, CodePage cp) {
    if (cp != CodePage::Cp1251) {
        // The spellings above are Cyrillic; Latin maps have only the sentence case.
        for (std::size_t i = 1; i < name.size(); ++i)
            name[i] = static_cast<char>(toLower(cp, static_cast<uint8_t>(name[i])));
        return;
    }
    for (const Spelling& s : spellings())
        if (name == s.from) {
            name = s.to;
            return;
        }
    if (name.size() < 2) return;
    for (std::size_t i = 1; i < name.size(); ++i) {
        const auto c = static_cast<uint8_t>(name[i]);
        if ((c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDF)) name[i] = static_cast<char>(c + 32);
    }
}

void TStreetLabels::Clear() {
    m_labels.clear();
    m_text.clear();
    m_last = nullptr;
    m_stripStart = 0;
}

void TStreetLabels::NewStrip() {
    m_stripStart = m_labels.size();
    m_last = nullptr;
}

void TStreetLabels::Add(const TMapRenderer& map, const TQEVMapObjectMem& line, int mode, TDrawObject& measure) {
    if (mode < 0 || line.Kind != cLine || !line.Address || line.HasAddress != 1) return;
    if (mode == 0 && map.Scale() < 4) return;
    // A bordered line is handed over once per pass; one label is enough.
    if (&line == m_last) return;
    m_last = &line;
    const double k = map.ScaleFactor();
    if (!(k > 0)) return;

    m_name.assign(map.Document().streets.name(line.Address->StreetCode));
    if (m_name.empty()) return;
    NormaliseStreetName(m_name, map.Document().codePage);

    int height = Settings.FontSize;
    const double widthPx = measure.Pen.Width;
    if (Settings.SizeMode == 1) height = std::max(height, static_cast<int>(std::lround(1.5 * widthPx)));
    if (Settings.SizeMode == 2 && widthPx > 2) height = static_cast<int>(std::lround(1.5 * widthPx));
    if (height <= 0) return;

    const double labelLength = [&] {
        const TDrawStateScope keep(measure, dsText);
        measure.TextFace = "Arial";
        measure.TextHeight = height;
        measure.TextBold = false;
        measure.TextEmHeight = true;
        return std::round(1.1 * measure.MeasureText(m_name).width) / k;
    }();
    m_spaced.clear();
    auto spacedName = [&]() -> std::string_view {
        if (m_spaced.empty())
            for (std::size_t i = 0; i < m_name.size(); ++i) {
                if (i) m_spaced += ' ';
                m_spaced += m_name[i];
            }
        return m_spaced;
    };

    const auto pts = line.points();
    auto segmentLength = [&](std::size_t i) {
        return std::hypot(double(pts[i + 1].X) - pts[i].X, double(pts[i + 1].Y) - pts[i].Y);
    };
    auto place = [&](std::size_t i, bool isSpaced) {
        TMapPoint a = pts[i], b = pts[i + 1];
        const bool vertical = a.X == b.X;
        // Text runs from the left end, or upwards on a vertical segment.
        if (vertical ? a.Y < b.Y : a.X > b.X) std::swap(a, b);
        const double len = segmentLength(i);
        if (!(len > 0)) return;
        const double ux = (double(b.X) - a.X) / len, uy = (double(b.Y) - a.Y) / len;
        double angle = vertical ? 2700 : std::atan2(uy, ux) * 1800 / std::numbers::pi;
        if (angle < 0) angle += 3600;
        const std::string_view text = isSpaced ? spacedName() : std::string_view(m_name);
        // Along by half the room the plain name leaves (spaced text, being longer, reaches past
        // the middle), across by most of the height.
        const double along = (len - labelLength) / 2, across = 0.7 * height / k;
        const double x = a.X + ux * along + uy * across, y = a.Y + uy * along - ux * across;
        queue(map, x, y, angle, height, text);
    };

    const std::size_t segments = pts.size() >= 2 ? pts.size() - 1 : 0;
    std::size_t best = segments;
    double bestValue = -1;
    if (mode == 0 || mode == 2) {
        for (std::size_t i = 0; i < segments; ++i)
            if (const double l = segmentLength(i); l > bestValue) bestValue = l, best = i;
        if (best < segments && (mode == 0 || bestValue > labelLength)) place(best, mode == 0 && bestValue > 1.5 * labelLength);
    } else if (mode == 1) {
        for (std::size_t i = 0; i < segments; ++i)
            if (const double l = segmentLength(i); l > labelLength) place(i, l > 1.5 * labelLength);
    } else if (mode == 3) {
        const double cx = map.XWind() + map.ViewWidth() / 2.0, cy = map.YWind() + map.ViewHeight() / 2.0;
        for (std::size_t i = 0; i < segments; ++i) {
            if (!(segmentLength(i) > labelLength)) continue;
            const double mx = (double(pts[i].X) + pts[i + 1].X) / 2 - cx, my = (double(pts[i].Y) + pts[i + 1].Y) / 2 - cy;
            const double d = mx * mx + my * my;
            if (bestValue < 0 || d < bestValue) bestValue = d, best = i;
        }
        if (best < segments) place(best, true);
    }
}

void TStreetLabels::queue(const TMapRenderer& map, double x, double y, double angle, int height, std::string_view text) {
    float sx = static_cast<float>(std::round(x)), sy = static_cast<float>(std::round(y));
    map.View().MapToScreenClamped(sx, sy);
    int32_t escapement = 3600 - static_cast<int32_t>(std::lround(angle));
    if (escapement >= 3600) escapement -= 3600;
    const Label l{static_cast<int32_t>(std::lround(sx)), static_cast<int32_t>(std::lround(sy)), escapement, height,
                  static_cast<uint32_t>(m_text.size()), static_cast<uint32_t>(text.size())};
    for (std::size_t i = 0; i < m_stripStart; ++i) {
        const Label& o = m_labels[i];
        if (o.x == l.x && o.y == l.y && o.escapement == l.escapement && o.height == l.height &&
            std::string_view(m_text).substr(o.textBegin, o.textSize) == text)
            return; // drawn twice, its soft edges would darken
    }
    m_labels.push_back(l);
    m_text += text;
}

void TStreetLabels::Paint(TDrawObject& d) {
    if (m_labels.empty()) return;
    const TDrawStateScope keep(d, dsBrush | dsText);
    d.TextFace = "Arial";
    d.TextBold = false;
    d.TextEmHeight = true; // labels are drawn by the plain engine, by their letters' height
    for (const Label& l : m_labels) {
        const std::string_view text(m_text.data() + l.textBegin, l.textSize);
        d.TextHeight = l.height;
        d.Brush = {Settings.HaloColor, bsClear, nullptr};
        d.TextColor = Settings.HaloColor;
        const int h = Settings.HaloMode;
        if (h == -3) {
            d.Brush.Style = bsSolid;
        } else if (h == -2) {
            for (const auto& [dx, dy] : {std::pair{-1, -1}, {1, -1}, {-1, 1}, {1, 1}})
                d.DrawText(l.x + dx, l.y + dy, false, text, l.escapement);
        } else {
            // A shadow deeper than the letters are tall is a setting gone wrong, not a look.
            const long copies = std::min<long>(l.height, h == -1 ? std::lround(double(l.height) / std::max(1, Settings.FontSize)) : h);
            for (long i = 1; i <= copies; ++i)
                d.DrawText(l.x + static_cast<int32_t>(i), l.y + static_cast<int32_t>(i), false, text, l.escapement);
        }
        d.TextColor = Settings.TextColor;
        d.DrawText(l.x, l.y, false, text, l.escapement);
    }
}

} // namespace kestrum
