#include "model/dictionary.h"

#include <algorithm>

namespace kestrum {

namespace {

// Order of letters in a name comparison: Ё sorts with Е as Russian readers expect, the rest by
// code point of the upper-case byte.
int collationRank(uint8_t b) {
    if (b == 0xA8) return 0xC5 * 2 + 1; // Ё right after Е
    return b * 2;
}

bool nameLess(CodePage cp, std::string_view a, std::string_view b) {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const int ra = collationRank(toUpper(cp, static_cast<uint8_t>(a[i])));
        const int rb = collationRank(toUpper(cp, static_cast<uint8_t>(b[i])));
        if (ra != rb) return ra < rb;
    }
    return a.size() < b.size();
}

// A longer name (damage, mostly) builds its key on the heap.
constexpr std::size_t kStackKeyBytes = 256;

} // namespace

template <class F> auto TMapDictionary::withKey(std::string_view name, F&& f) const {
    name = trimmed(name);
    if (name.size() <= kStackKeyBytes) {
        char buf[kStackKeyBytes];
        toUpperInto(m_cp, name, buf);
        return f(std::string_view(buf, name.size()));
    }
    const std::string k = toUpper(m_cp, name);
    return f(std::string_view(k));
}

void TMapDictionary::clear() {
    m_entries.clear();
    m_byKey.clear();
    m_byCode.clear();
}

void TMapDictionary::reserve(std::size_t n) {
    m_entries.reserve(n);
    m_byKey.reserve(n);
}

void TMapDictionary::insert(std::string name, std::string keyName, int32_t code) {
    const auto index = static_cast<int32_t>(m_entries.size());
    m_byKey.emplace(std::move(keyName), index);
    if (code >= 0 && code <= 0xFFFF) {
        const auto slot = static_cast<std::size_t>(code);
        if (slot >= m_byCode.size()) m_byCode.resize(slot + 1, -1);
        if (m_byCode[slot] < 0) m_byCode[slot] = index;
    }
    m_entries.push_back({std::move(name), code});
}

bool TMapDictionary::addLoaded(std::string_view name, int32_t code) {
    // Keyed like lookups (trimmed), so a name stored with blanks around it is still found.
    return withKey(name, [&](std::string_view k) {
        if (m_byKey.contains(k)) return false;
        insert(std::string(name), std::string(k), code);
        return true;
    });
}

int32_t TMapDictionary::codeOf(std::string_view name, int32_t& nextCode, bool* added) {
    if (added) *added = false;
    return withKey(name, [&](std::string_view k) -> int32_t {
        if (k.empty()) return -1;
        if (auto it = m_byKey.find(k); it != m_byKey.end())
            return m_entries[static_cast<std::size_t>(it->second)].code;
        const int32_t code = nextCode++;
        insert(std::string(k), std::string(k), code);
        if (added) *added = true;
        return code;
    });
}

int32_t TMapDictionary::find(std::string_view name) const {
    return withKey(name, [&](std::string_view k) -> int32_t {
        if (k.empty()) return -1;
        auto it = m_byKey.find(k);
        return it == m_byKey.end() ? -1 : m_entries[static_cast<std::size_t>(it->second)].code;
    });
}

std::string_view TMapDictionary::name(int32_t code) const {
    if (code < 0 || static_cast<std::size_t>(code) >= m_byCode.size()) return {};
    const int32_t index = m_byCode[static_cast<std::size_t>(code)];
    return index < 0 ? std::string_view{} : std::string_view(m_entries[static_cast<std::size_t>(index)].name);
}

std::vector<TMapDictionary::Entry> TMapDictionary::sorted() const {
    std::vector<Entry> out = m_entries;
    std::stable_sort(out.begin(), out.end(),
                     [this](const Entry& a, const Entry& b) { return nameLess(m_cp, a.name, b.name); });
    return out;
}

} // namespace kestrum
