#pragma once
// Street names written along addressed lines. Labels are collected while the map is drawn and
// painted together once the objects are done, so a name is never hidden under a building or a
// road of a higher plane drawn after its own line.

#include "render/draw_object.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kestrum {

class TMapRenderer;
struct TQEVMapObjectMem;

struct TStreetLabelSettings {
    int FontSize = 14;   // character height in pixels
    int SizeMode = 0;    // 0 the font size; 1 at least 1.5x the line width; 2 exactly 1.5x a wide line
    int Mode = 3;        // placement: -1 none, 0 longest, 1 every long segment, 2 longest if long, 3 nearest
    int32_t TextColor = 0xFFFFFF;
    int32_t HaloColor = 0;
    int HaloMode = -2;   // -3 box, -2 four diagonal copies, -1 shadow by font size, n > 0 shadow of n
};

class TStreetLabels {
  public:
    TStreetLabelSettings Settings;

    // Queues the street name of a line's address along one or more of its segments (by `mode`).
    void Add(const TMapRenderer& map, const TQEVMapObjectMem& line, int mode, TDrawObject& measure);
    // Paints every queued label on top of what is drawn, then forgets them.
    void Paint(TDrawObject& canvas);
    void Clear();
    // A partial redraw draws its rectangles one after another and paints the labels once: those
    // of the earlier rectangles stay, and a line crossing two of them is labelled once.
    void NewStrip();
    std::size_t size() const { return m_labels.size(); }

  private:
    struct Label {
        int32_t x, y, escapement, height;
        uint32_t textBegin, textSize;
    };
    void queue(const TMapRenderer& map, double x, double y, double angle, int height, std::string_view text);

    std::vector<Label> m_labels;
    std::string m_text; // every queued name, back to back
    std::string m_name, m_spaced; // scratch, kept for its capacity
    const TQEVMapObjectMem* m_last = nullptr;
    std::size_t m_stripStart = 0; // labels queued before the current rectangle
};

// The way a street name is shown: a few known names spelled out, anything else in sentence case
// (first letter kept, later capitals of Latin and code-page-1251 Cyrillic lowered). In place.
// Names of maps in another code page are lowered by that code page's own letters.
void NormaliseStreetName(std::string& name, CodePage cp = CodePage::Cp1251);

} // namespace kestrum
