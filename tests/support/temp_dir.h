#pragma once
// A folder of its own for each test and process (the test runner runs tests side by side),
// removed with everything in it when the test ends; and whole files read and written.

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <span>
#include <sstream>
#include <string>
#include <string_view>

namespace kestrum::test {

class TempDir {
  public:
    TempDir() {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = info ? std::string(info->test_suite_name()) + "." + info->name() : "x";
        std::replace(name.begin(), name.end(), '/', '_');
        m_path = std::filesystem::temp_directory_path() / ("kestrum-" + name + "-" + std::to_string(::getpid()));
        std::filesystem::remove_all(m_path);
        std::filesystem::create_directories(m_path);
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return m_path; }
    std::filesystem::path operator/(const std::filesystem::path& name) const { return m_path / name; }

  private:
    std::filesystem::path m_path;
};

inline std::string readFile(const std::filesystem::path& p) {
    std::ostringstream s;
    s << std::ifstream(p, std::ios::binary).rdbuf();
    return s.str();
}

inline void writeFile(const std::filesystem::path& p, std::string_view bytes) {
    std::ofstream(p, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
}

inline void writeFile(const std::filesystem::path& p, std::span<const uint8_t> bytes) {
    writeFile(p, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

} // namespace kestrum::test
