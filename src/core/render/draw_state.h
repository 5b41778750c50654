#pragma once
// The drawing state the renderer writes on a back end before each call (pen, brush, opacity,
// caps, text fields) is shared by every object and hook that draws. A piece of drawing that
// changes it for itself puts it back through this scope, however it ends.

#include "render/draw_object.h"

#include <cmath>
#include <cstdint>
#include <string>

namespace kestrum {

enum TDrawStateParts : unsigned {
    dsPen = 1u << 0,
    dsBrush = 1u << 1,
    dsOpacity = 1u << 2,
    dsCaps = 1u << 3,
    dsText = 1u << 4, // face, height, em-height mode, colour and weight
    dsAll = dsPen | dsBrush | dsOpacity | dsCaps | dsText,
};

class TDrawStateScope {
  public:
    // Saves the parts named (only those: the text face is a string, and an object's opacity
    // scope runs for every object of every frame).
    explicit TDrawStateScope(TDrawObject& draw, unsigned parts = dsAll) : m_draw(draw), m_parts(parts) {
        if (parts & dsPen) m_pen = draw.Pen;
        if (parts & dsBrush) m_brush = draw.Brush;
        if (parts & dsOpacity) m_opacity = draw.Opacity;
        if (parts & dsCaps) m_caps = draw.CapsMode;
        if (parts & dsText) {
            m_face = draw.TextFace;
            m_height = draw.TextHeight;
            m_em = draw.TextEmHeight;
            m_color = draw.TextColor;
            m_bold = draw.TextBold;
        }
    }
    ~TDrawStateScope() {
        TDrawObject& d = m_draw;
        if (m_parts & dsPen) d.Pen = m_pen;
        if (m_parts & dsBrush) d.Brush = m_brush;
        if (m_parts & dsOpacity) d.Opacity = m_opacity;
        if (m_parts & dsCaps) d.CapsMode = m_caps;
        if (m_parts & dsText) {
            d.TextFace.swap(m_face);
            d.TextHeight = m_height;
            d.TextEmHeight = m_em;
            d.TextColor = m_color;
            d.TextBold = m_bold;
        }
    }
    TDrawStateScope(const TDrawStateScope&) = delete;
    TDrawStateScope& operator=(const TDrawStateScope&) = delete;

  private:
    TDrawObject& m_draw;
    unsigned m_parts;
    TCanvasPen m_pen;
    TCanvasBrush m_brush;
    uint8_t m_opacity = 255;
    int m_caps = 0;
    std::string m_face;
    int32_t m_height = 0;
    bool m_em = false;
    int32_t m_color = 0;
    bool m_bold = false;
};

// An object's opacity, the global one times the object's own, for the scope of its drawing.
class TOpacityScope : TDrawStateScope {
  public:
    TOpacityScope(TDrawObject& draw, uint8_t global, uint8_t alpha) : TDrawStateScope(draw, dsOpacity) {
        draw.Opacity = static_cast<uint8_t>(std::lround(global * alpha / 255.0));
    }
};

} // namespace kestrum
