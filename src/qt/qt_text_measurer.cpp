#include "qt_text_measurer.h"

#include "qt_draw_object.h"

#include <QFont>
#include <QFontMetricsF>

#include <cmath>

namespace kestrum::qt {

TextExtent QtTextMeasurer::measure(std::string_view face, double height, int weight, std::string_view text) const {
    // Heights are cell heights (ascent plus descent); big ones are measured at a fixed size and
    // scaled, since the font engine is unreliable at thousands of pixels.
    const double probe = std::min(height, 1000.0);
    QFont f(resolveFace(face));
    f.setPixelSize(1000);
    const QFontMetricsF big(f);
    const double cell = big.ascent() + big.descent();
    const double px = probe * 1000.0 / (cell > 0 ? cell : 1150.0);
    f.setPixelSize(std::max(1, static_cast<int>(std::lround(px))));
    f.setBold(weight >= 700);
    const QFontMetricsF m(f);
    const std::string utf8 = toUtf8(m_cp, text);
    const double w = m.horizontalAdvance(QString::fromUtf8(utf8.data(), int(utf8.size())));
    return {w * height / probe, height};
}

} // namespace kestrum::qt
