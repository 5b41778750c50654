#include "qt_text_measurer.h"

#include "qt_draw_object.h"

#include <QFont>
#include <QFontMetricsF>

#include <cmath>

namespace kestrum::qt {

struct QtTextMeasurer::Face {
    std::string name;
    bool bold;
    QFontMetricsF metrics;
    double cell; // ascent + descent at the measuring size
};

QtTextMeasurer::QtTextMeasurer(CodePage cp) : m_cp(cp) {}
QtTextMeasurer::~QtTextMeasurer() = default;

namespace {
constexpr int kMeasureSize = 1000; // pixel size texts are measured at; results are scaled
} // namespace

const QtTextMeasurer::Face& QtTextMeasurer::face(std::string_view name, bool bold) const {
    for (const auto& f : m_faces)
        if (f->bold == bold && f->name == name) return *f;
    QFont font(resolveFace(name));
    font.setPixelSize(kMeasureSize);
    font.setBold(bold);
    QFontMetricsF m(font);
    const double cell = m.ascent() + m.descent();
    m_faces.push_back(std::make_unique<Face>(Face{std::string(name), bold, m, cell > 0 ? cell : 1150.0}));
    return *m_faces.back();
}

TextExtent QtTextMeasurer::measure(std::string_view faceName, double height, int weight, std::string_view text) const {
    // Heights are cell heights (ascent plus descent). Text is measured once at a large size and
    // scaled: advances grow in proportion, and the font engine is unreliable at thousands of pixels.
    const Face& f = face(faceName, weight >= 700);
    const std::string utf8 = toUtf8(m_cp, text);
    const double w = f.metrics.horizontalAdvance(QString::fromUtf8(utf8.data(), int(utf8.size())));
    return {w * height / f.cell, height};
}

} // namespace kestrum::qt
