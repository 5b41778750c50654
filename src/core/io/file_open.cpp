// Before any header: off_t and fseeko of 64 bits on 32-bit Linux too.
#define _FILE_OFFSET_BITS 64

#include "io/file_open.h"

#include <cerrno>
#include <exception>
#include <limits>

namespace kestrum {

std::filesystem::path pathFromUtf8(std::string_view utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string pathToUtf8(const std::filesystem::path& path) {
    const std::u8string s = path.u8string();
    return std::string(s.begin(), s.end());
}

std::FILE* openFile(const std::string& utf8Path, const char* mode) {
#ifdef _WIN32
    std::filesystem::path path;
    try {
        path = pathFromUtf8(utf8Path); // UTF-16, as the wide file functions take it
    } catch (const std::exception&) {  // not UTF-8: a damaged name is not guessed at
        errno = EINVAL;
        return nullptr;
    }
    const std::wstring wideMode(mode, mode + std::char_traits<char>::length(mode));
    return _wfopen(path.c_str(), wideMode.c_str());
#else
    return std::fopen(utf8Path.c_str(), mode);
#endif
}

#ifndef _WIN32
// On Windows the Win32 layer replaces files (src/win32/replace_file.cpp).
void replaceFile(const std::filesystem::path& from, const std::filesystem::path& to, std::error_code& ec) {
    ec.clear();
    std::filesystem::rename(from, to, ec);
}
#endif

bool seekFile(std::FILE* file, uint64_t offset) {
#ifdef _WIN32
    if (offset > uint64_t(std::numeric_limits<long long>::max())) return false;
    return _fseeki64(file, static_cast<long long>(offset), SEEK_SET) == 0;
#else
    static_assert(sizeof(off_t) >= 8, "build with _FILE_OFFSET_BITS=64");
    if (offset > uint64_t(std::numeric_limits<off_t>::max())) return false;
    return fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0;
#endif
}

std::tm localTime(std::time_t t) {
    std::tm tm{};
#ifdef _WIN32
    localtime_s(&tm, &t);
#else
    localtime_r(&t, &tm);
#endif
    return tm;
}

} // namespace kestrum
