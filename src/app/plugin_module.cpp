#include "plugin_module.h"

#include "io/le.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string_view>
#include <vector>

namespace kestrum::app {

namespace {

// ELF constants, as the format defines them.
constexpr uint16_t kSharedObject = 3; // ET_DYN
constexpr uint32_t kDynamicSymbols = 11; // SHT_DYNSYM
constexpr uint8_t kClass64 = 2, kLittleEndian = 1;
constexpr uint8_t kFunction = 2; // STT_FUNC
constexpr uint8_t kGlobal = 1, kWeak = 2;
constexpr std::size_t kSectionHeader = 64, kSymbol = 24;

#if defined(__x86_64__)
constexpr uint16_t kHostMachine = 62;
#elif defined(__aarch64__)
constexpr uint16_t kHostMachine = 183;
#else
constexpr uint16_t kHostMachine = 0; // not checked
#endif

class File {
  public:
    explicit File(const std::string& path) : m_in(path, std::ios::binary) {
        std::error_code ec;
        m_size = std::filesystem::file_size(path, ec);
        if (ec) m_size = 0;
    }
    bool ok() const { return bool(m_in); }
    uint64_t size() const { return m_size; }
    // The n bytes at `offset`, or nothing when the file does not hold them.
    std::optional<std::vector<uint8_t>> at(uint64_t offset, uint64_t n) {
        if (m_size < n || offset > m_size - n || n > (uint64_t{64} << 20)) return std::nullopt;
        std::vector<uint8_t> b(static_cast<std::size_t>(n));
        m_in.clear();
        m_in.seekg(static_cast<std::streamoff>(offset));
        if (!m_in.read(reinterpret_cast<char*>(b.data()), static_cast<std::streamsize>(n))) return std::nullopt;
        return b;
    }

  private:
    std::ifstream m_in;
    uint64_t m_size = 0;
};

template <class T>
T field(const std::vector<uint8_t>& b, std::size_t offset) {
    return le::load<T>(b.data() + offset);
}

} // namespace

std::string pluginModuleProblem(const std::string& path) {
    namespace fs = std::filesystem;
    std::error_code ec;
    if (fs::is_directory(path, ec)) return "is a folder, not a plug-in";
    if (!fs::exists(path, ec)) return "no such plug-in file";
    if (!fs::is_regular_file(path, ec)) return "is not a regular file, not a plug-in";
    File f(path);
    if (!f.ok()) return "cannot be read";
    const auto head = f.at(0, 64);
    if (!head) return "is not a plug-in: too short for a shared object";
    const std::vector<uint8_t>& h = *head;
    if (h[0] == 'M' && h[1] == 'Z')
        return "is a Windows module, not a plug-in for Linux: Double Commander here loads ELF shared objects";
    if (h[0] != 0x7F || h[1] != 'E' || h[2] != 'L' || h[3] != 'F') return "is not a plug-in: not an ELF shared object";
    if (h[4] != kClass64 || h[5] != kLittleEndian)
        return "is not a plug-in for this system: a shared object for another word size or byte order";
    if (field<uint16_t>(h, 16) != kSharedObject) return "is not a plug-in: an ELF file but not a shared object";
    if (kHostMachine && field<uint16_t>(h, 18) != kHostMachine)
        return "is not a plug-in for this system: a shared object for another processor";

    const uint64_t shoff = field<uint64_t>(h, 40);
    const uint16_t shentsize = field<uint16_t>(h, 58), shnum = field<uint16_t>(h, 60);
    const char* const noSymbols = "is a shared object without a dynamic symbol table, so it cannot be a plug-in";
    if (shentsize < kSectionHeader || shnum == 0) return noSymbols;
    const auto sections = f.at(shoff, uint64_t{shentsize} * shnum);
    if (!sections) return "is a damaged shared object: its section table lies past the end of the file";
    for (uint16_t i = 0; i < shnum; ++i) {
        const std::size_t s = std::size_t{i} * shentsize;
        if (field<uint32_t>(*sections, s + 4) != kDynamicSymbols) continue;
        const uint32_t link = field<uint32_t>(*sections, s + 40);
        if (link >= shnum) return "is a damaged shared object: its symbols name a string table it has not";
        const std::size_t t = std::size_t{link} * shentsize;
        const auto symbols = f.at(field<uint64_t>(*sections, s + 24), field<uint64_t>(*sections, s + 32));
        const auto names = f.at(field<uint64_t>(*sections, t + 24), field<uint64_t>(*sections, t + 32));
        if (!symbols || !names) return "is a damaged shared object: its symbols lie past the end of the file";
        const std::string_view strings(reinterpret_cast<const char*>(names->data()), names->size());
        for (std::size_t at = 0; at + kSymbol <= symbols->size(); at += kSymbol) {
            const uint32_t name = field<uint32_t>(*symbols, at);
            const uint8_t info = (*symbols)[at + 4];
            const uint16_t sectionIndex = field<uint16_t>(*symbols, at + 6);
            if (name >= strings.size() || sectionIndex == 0) continue; // undefined: imported, not exported
            const std::string_view symbolName = strings.substr(name, strings.find('\0', name) - name);
            const uint8_t bind = info >> 4, type = info & 0xF;
            if (symbolName == "ListLoad" && type == kFunction && (bind == kGlobal || bind == kWeak)) return {};
        }
        return "is a shared object but not a lister plug-in: it exports no ListLoad";
    }
    return noSymbols;
}

} // namespace kestrum::app
