#pragma once
// Single-byte code pages. Map text stays in the map's code page (Windows-1251 unless a file
// says otherwise); it becomes Unicode only where it is drawn, measured or shown.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kestrum {

enum class CodePage : uint16_t { Cp1250 = 1250, Cp1251 = 1251, Cp1252 = 1252 };

// The Unicode character of a byte; U+FFFD for the few bytes a code page leaves undefined.
char32_t toUnicode(CodePage cp, uint8_t byte);
// The byte that stands for `ch`, if the code page has one.
std::optional<uint8_t> fromUnicode(CodePage cp, char32_t ch);

std::string toUtf8(CodePage cp, std::string_view bytes);
// UTF-8 text in a code page; characters it lacks become '?'.
std::string fromUtf8(CodePage cp, std::string_view utf8);
void appendUtf8(std::string& out, char32_t ch);

// Upper case by the code page's own letters (Cyrillic included for 1251).
uint8_t toUpper(CodePage cp, uint8_t byte);
std::string toUpper(CodePage cp, std::string_view bytes);
// Lower case by the code page's own letters.
uint8_t toLower(CodePage cp, uint8_t byte);
// The same into `out`, which has room for bytes.size() characters.
void toUpperInto(CodePage cp, std::string_view bytes, char* out);

// Blanks and control characters removed from both ends.
std::string_view trimmed(std::string_view s);

} // namespace kestrum
