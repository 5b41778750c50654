#include "model/text_measure.h"

namespace kestrum {

namespace {

// Advance of one Windows-1251 byte in ems, from the shapes of a typical sans-serif face.
double advanceEm(unsigned char c) {
    if (c == ' ') return 0.278;
    if (c >= '0' && c <= '9') return 0.556;
    if (c == 'i' || c == 'j' || c == 'l' || c == '.' || c == ',' || c == ':' || c == ';' || c == '!' ||
        c == '\'' || c == '|')
        return 0.24;
    if (c == 'm' || c == 'w' || c == 'M' || c == 'W') return 0.86;
    if (c >= 'A' && c <= 'Z') return 0.667;
    if (c >= 'a' && c <= 'z') return 0.52;
    if (c == 0xC6 || c == 0xD8 || c == 0xD9 || c == 0xE6 || c == 0xF8 || c == 0xF9) return 0.86; // Ж Ш Щ
    if (c >= 0xC0 && c <= 0xDF) return 0.68;                                                     // А..Я
    if (c >= 0xE0) return 0.54;                                                                  // а..я
    return 0.556;
}

} // namespace

TextExtent ApproximateTextMeasurer::measure(std::string_view face, double height, int weight,
                                            std::string_view text) const {
    // Cell height is ascent plus descent, about 1.15 em for the common faces.
    const double em = height / 1.15;
    const bool serif = face.find("Times") != std::string_view::npos;
    double w = 0;
    for (char ch : text) w += advanceEm(static_cast<unsigned char>(ch));
    if (serif) w *= 0.92;
    if (weight >= 700) w *= 1.07;
    return {w * em, height};
}

const TextMeasurer& defaultTextMeasurer() {
    static const ApproximateTextMeasurer measurer;
    return measurer;
}

} // namespace kestrum
