#pragma once
// Line-level reading shared by the MIF and MID halves of the importer: the lines come from the
// importers' common reader (text_lines.h); here are the small scanners that take keywords,
// numbers and quoted strings off the front of a line. Nothing here allocates per line.

#include "import/text_lines.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kestrum::mif {

inline bool isBlank(char c) { return static_cast<unsigned char>(c) <= ' '; }

inline std::string_view skipBlanks(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size() && isBlank(s[i])) ++i;
    return s.substr(i);
}

inline bool isBlankLine(std::string_view s) { return skipBlanks(s).empty(); }

// ASCII case-blind equality; keywords of the format are ASCII.
bool equalsNoCase(std::string_view a, std::string_view b);

// The leading word of `s` (letters, digits and '_' after leading blanks) and the rest after it.
std::string_view takeWord(std::string_view& s);

// Whether the text (after blanks) starts like a number: a digit, or a sign or '.' before one.
bool startsWithNumber(std::string_view s);

// Reads a decimal number off the front of `s` (after blanks), advancing past it. Accepts a
// leading '+'; refuses infinities and NaN. False, with `s` unchanged, when none is there.
bool takeNumber(std::string_view& s, double& value);
// As takeNumber for a whole number; a fraction or a value outside int64 is refused.
bool takeInteger(std::string_view& s, int64_t& value);

// Reads a double-quoted string off the front of `s` (after blanks) into `out` (its capacity is
// reused). A doubled quote inside stands for one quote. A string whose closing quote is missing
// runs to the end of the line and sets `unterminated`. False when `s` does not start with a quote.
bool takeQuoted(std::string_view& s, std::string& out, bool& unterminated);

} // namespace kestrum::mif
