#pragma once
// Text boxes of map texts depend on font metrics, which only the platform knows. The core asks
// through this interface; the platform layer answers with real fonts, and the core's own
// approximation serves headless tools and tests.

#include "model/codepage.h"

#include <string_view>

namespace kestrum {

struct TextExtent {
    double width = 0;
    double height = 0;
};

class TextMeasurer {
  public:
    virtual ~TextMeasurer() = default;
    // Extent of `text` (map code-page bytes) in the face `face` whose cell height is `height`
    // logical units, at the given weight (400 normal, 700 bold).
    virtual TextExtent measure(std::string_view face, double height, int weight,
                               std::string_view text) const = 0;
    // The code page of the texts measured from now on: the map's. Measuring by byte ignores it.
    virtual void useCodePage(CodePage) const {}
};

// Advance widths close to Arial's, so that boxes computed without a platform are near the real ones.
class ApproximateTextMeasurer final : public TextMeasurer {
  public:
    TextExtent measure(std::string_view face, double height, int weight,
                       std::string_view text) const override;
};

const TextMeasurer& defaultTextMeasurer();

} // namespace kestrum
