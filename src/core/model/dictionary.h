#pragma once
// Street and town dictionaries: upper-case names with 16-bit codes, looked up without regard
// to letter case by the code page's rules.

#include "model/codepage.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace kestrum {

class TMapDictionary {
  public:
    struct Entry {
        std::string name; // as stored (map code page)
        int32_t code = 0;
    };

    explicit TMapDictionary(CodePage cp = CodePage::Cp1251) : m_cp(cp) {}

    void setCodePage(CodePage cp) { m_cp = cp; }
    int count() const { return static_cast<int>(m_entries.size()); }
    void clear();
    void reserve(std::size_t n);

    // As the loader fills it: a name already present (in any letter case) keeps its first code.
    // Returns false when the entry was skipped.
    bool addLoaded(std::string_view name, int32_t code);

    // Code of a name, or -1 for an empty one; an absent name is added with `nextCode`, which then
    // grows by one (and `added` is set, so the caller can mark the map as changed).
    int32_t codeOf(std::string_view name, int32_t& nextCode, bool* added = nullptr);
    // Code of a name without adding it; -1 when absent or empty.
    int32_t find(std::string_view name) const;
    // Name of a code; empty for negative or unknown codes.
    std::string_view name(int32_t code) const;

    // Entries in name order, as the dictionaries are kept sorted.
    std::vector<Entry> sorted() const;
    const std::vector<Entry>& entries() const { return m_entries; }

  private:
    // Looked up by string_view: importers ask for a code per object, and a key string built
    // per lookup was a large part of importing. Not noexcept on purpose: libstdc++ then keeps
    // each key's hash in its node, as for std::hash<std::string>, instead of hashing the
    // neighbours of a bucket again at every lookup.
    struct KeyHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
    };

    // Calls f with the key of a name (trimmed, upper case), built on the stack when it is short.
    template <class F> auto withKey(std::string_view name, F&& f) const;
    void insert(std::string name, std::string keyName, int32_t code);

    CodePage m_cp;
    std::vector<Entry> m_entries;  // insertion order
    std::vector<int32_t> m_byCode; // code -> entry, first entry wins
    // Upper-case trimmed name -> entry.
    std::unordered_map<std::string, int32_t, KeyHash, std::equal_to<>> m_byKey;
};

} // namespace kestrum
