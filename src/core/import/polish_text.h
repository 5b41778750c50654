#pragma once
// Labels of a Polish-format file into the map's code page. The header's CodePage names how the
// file's text is encoded; map text is single-byte in the document's code page (Windows-1251 for
// the maps this viewer is made for). A character the map's code page lacks becomes its base
// letter when it is an accented Latin letter ("é" -> "e", "ß" -> "ss"), its Latin spelling when
// it is a Cyrillic one ("Ж" -> "Zh"), and '?' otherwise; the
// caller counts either as a warning, so nothing is changed silently.

#include "model/codepage.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kestrum {
class TObjectSink;
}

namespace kestrum::polish {

enum class LabelEncoding : uint8_t {
    MapCodePage, // no CodePage in the header: the bytes are taken as they are
    Cp1250,
    Cp1251,
    Cp1252,
    Utf8,
    Unsupported, // a code page this importer has no table for: only ASCII survives
};

// The encoding named by a header's CodePage value (1250, 1251, 1252, 65001 ...). 0 is what
// writers put when they mean "none": the bytes are then the map's own.
LabelEncoding encodingOfCodePage(int64_t codePage);

// The ASCII spelling of an accented Latin letter, ligature, Cyrillic letter or typographic sign;
// empty when there is none.
std::string_view transliterate(char32_t ch);

class LabelRecoder {
  public:
    struct Outcome {
        bool approximated = false; // some character was transliterated or became '?'
        bool utf8Found = false;    // a single-byte file held UTF-8 text, read as such
    };

    explicit LabelRecoder(CodePage target = CodePage::Cp1251);

    void setSource(LabelEncoding source);
    LabelEncoding source() const { return m_source; }
    // Another code page for the map's text; what was learnt about the source is kept.
    void setTarget(CodePage target);
    CodePage target() const { return m_target; }
    // The source is known to be single-byte: a label that reads as UTF-8 is not taken for it.
    void trustSource() { m_utf8Possible = false; }

    // `in` into the map's code page in `out` (cleared first; its capacity is reused).
    Outcome recode(std::string_view in, std::string& out) const;

  private:
    void appendChar(char32_t ch, std::string& out, Outcome& o) const;
    // Decodes UTF-8; ill-formed sequences become '?'. Returns false when one was met.
    bool decodeUtf8(std::string_view in, std::string& out, Outcome& o) const;

    CodePage m_target;
    LabelEncoding m_source = LabelEncoding::MapCodePage;
    mutable bool m_utf8Possible = true; // no label with letters beyond ASCII has failed as UTF-8 yet
    std::array<char32_t, 256> m_sourceChar{};            // source byte -> Unicode (single-byte sources)
    std::vector<std::pair<char32_t, uint8_t>> m_reverse; // Unicode -> map byte above 0x7F, sorted
    // Single-byte sources: the map byte of each source byte whose character the map's code page
    // has, -1 for the others; labels made only of such bytes are recoded by this table alone.
    std::array<int16_t, 256> m_direct{};
};

// A label without the display codes Garmin writers put in it: "~[0x04]A480" (a road shield,
// 0x01..0x06 and 0x2A..0x2F) becomes "A480", a separator (0x1B..0x1F) becomes a blank, and
// any other "~[0x..]" code goes; blanks are then collapsed and trimmed. False, and `out`
// untouched, when the label holds no code.
bool withoutLabelCodes(std::string_view in, std::string& out);

// Every text, note text, street and town name and the name of the map's document into code
// page `to` (the document then has it), letters it lacks spelt as a LabelRecoder does.
// Returns how many of those strings lost letters.
int recodeMap(TObjectSink& sink, CodePage to);

// True when `s` is well-formed UTF-8 and holds at least one multi-byte character.
bool isMultibyteUtf8(std::string_view s);

} // namespace kestrum::polish
