#pragma once
// Files named by UTF-8 paths, with offsets beyond 2 GiB, on every platform. Paths travel through
// the core as UTF-8 text; Windows would read a narrow path in its ANSI code page, where a
// Cyrillic name does not survive, and its `long` file offsets stop at 2 GiB.

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

namespace kestrum {

// The path that UTF-8 text names, and back.
std::filesystem::path pathFromUtf8(std::string_view utf8);
std::string pathToUtf8(const std::filesystem::path& path);

// std::fopen of a UTF-8 path. Null, with errno set, when the file cannot be opened.
std::FILE* openFile(const std::string& utf8Path, const char* mode);

// Renames `from` to `to`, replacing a file already there (which std::filesystem::rename of
// MinGW's runtime refuses on Windows).
void replaceFile(const std::filesystem::path& from, const std::filesystem::path& to, std::error_code& ec);

// Moves to an absolute offset of any size; false when the stream cannot get there.
bool seekFile(std::FILE* file, uint64_t offset);

// The local calendar time of `t` (localtime_r has no Windows counterpart of that name).
std::tm localTime(std::time_t t);

} // namespace kestrum
