#pragma once
// Text extents from the real fonts, for the text boxes of map texts.

#include "model/codepage.h"
#include "model/text_measure.h"

namespace kestrum::qt {

class QtTextMeasurer final : public TextMeasurer {
  public:
    explicit QtTextMeasurer(CodePage cp = CodePage::Cp1251) : m_cp(cp) {}
    TextExtent measure(std::string_view face, double height, int weight, std::string_view text) const override;

  private:
    CodePage m_cp;
};

} // namespace kestrum::qt
