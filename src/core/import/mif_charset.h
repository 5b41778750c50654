#pragma once
// Text of a MIF/MID pair into the map's code page. The MIF's Charset clause names the encoding
// of both files; map text is single-byte in the document's code page.

#include "io/byte_source.h"
#include "model/codepage.h"

#include <optional>

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kestrum::mif {

// The map code page a Charset clause names ("WindowsLatin2" -> 1250 ...); nothing for UTF-8,
// "Neutral" and sets no map code page can hold.
std::optional<CodePage> codePageOfCharset(std::string_view name);
bool isUtf8Charset(std::string_view name);

// What the UTF-8 text of a file needs: how many characters beyond ASCII, how many of them each
// map code page lacks, and how many byte sequences are not UTF-8 at all.
struct Utf8Census {
    uint64_t high = 0, invalid = 0;
    uint64_t missing1250 = 0, missing1251 = 0, missing1252 = 0;
};
// Counts the whole of `src` into `census`, leaving the source where it was.
void countUtf8(ByteSource& src, Utf8Census& census);
// The code page that keeps the most of the counted text: Windows-1251 for Cyrillic, 1252 for
// Western letters, 1250 for Central European ones (1252 before 1250 when both keep everything).
CodePage bestCodePage(const Utf8Census& census);

class TextDecoder {
  public:
    enum class Outcome {
        Exact,    // every character has its byte in the map's code page
        Replaced, // some characters do not exist there and became '?'
        Guessed,  // the encoding is unknown and the text was not plain ASCII
    };

    explicit TextDecoder(CodePage target = CodePage::Cp1251);

    // Takes the name of a Charset clause ("WindowsCyrillic", "UTF-8" ...). False for a name
    // this importer cannot convert from, including "Neutral": text is then guessed at.
    bool setCharset(std::string_view name);
    // No Charset clause at all.
    void setUnknown() { m_kind = Kind::Guess; }

    // `in` in the map's code page, into `out` (cleared first; its capacity is reused).
    Outcome convert(std::string_view in, std::string& out) const;

  private:
    enum class Kind { Table, Utf8, Guess };
    void setTable(char32_t (*toUni)(uint8_t));
    void decodeUtf8(std::string_view in, std::string& out, bool& replaced) const;
    int16_t byteFor(char32_t ch) const;

    CodePage m_target;
    Kind m_kind = Kind::Guess;
    bool m_identity = false;
    std::array<int16_t, 256> m_table{};                   // source byte -> map byte, -1: none
    std::vector<std::pair<char32_t, uint8_t>> m_reverse; // Unicode -> map byte above 0x7F, sorted
};

} // namespace kestrum::mif
