#pragma once
// Text extents from the real fonts, for the text boxes of map texts.

#include "model/codepage.h"
#include "model/text_measure.h"

#include <memory>
#include <string>
#include <vector>

namespace kestrum::qt {

class QtTextMeasurer final : public TextMeasurer {
  public:
    explicit QtTextMeasurer(CodePage cp = CodePage::Cp1251);
    ~QtTextMeasurer() override;
    TextExtent measure(std::string_view face, double height, int weight, std::string_view text) const override;
    void useCodePage(CodePage cp) const override { m_cp = cp; }

  private:
    struct Face;
    const Face& face(std::string_view name, bool bold) const;

    mutable CodePage m_cp;
    // Font lookups cost far more than measuring: one per face and weight, kept.
    mutable std::vector<std::unique_ptr<Face>> m_faces;
};

} // namespace kestrum::qt
