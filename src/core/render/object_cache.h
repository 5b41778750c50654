#pragma once
// A small cache of drawing objects (brushes, pens, fonts) keyed by a hash of what describes
// them. Lookups try the entry that hit last, then scan; when full, the least used entry (the
// first of equals) makes room. A hundred entries cover the styles of any real map.

#include <bit>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace kestrum {

class CacheKey {
  public:
    CacheKey& add(const void* data, std::size_t n) {
        const auto* p = static_cast<const uint8_t*>(data);
        for (std::size_t i = 0; i < n; ++i) m_acc = std::rotl(m_acc, 5) ^ p[i];
        return *this;
    }
    template <class T>
        requires std::is_trivially_copyable_v<T>
    CacheKey& add(const T& v) { return add(&v, sizeof v); }
    CacheKey& add(std::string_view s) { return add(s.data(), s.size()); }
    uint32_t value() const { return m_acc; }

  private:
    uint32_t m_acc = 0;
};

template <class T>
class TObjectCache {
  public:
    explicit TObjectCache(std::size_t capacity = 100) : m_capacity(capacity) { m_entries.reserve(capacity); }

    T* find(uint32_t key) {
        if (m_last < m_entries.size() && m_entries[m_last].key == key) return hit(m_last);
        for (std::size_t i = 0; i < m_entries.size(); ++i)
            if (m_entries[i].key == key) return hit(i);
        return nullptr;
    }

    T& insert(uint32_t key, T value) {
        std::size_t slot = m_entries.size();
        if (slot >= m_capacity) {
            slot = 0;
            for (std::size_t i = 1; i < m_entries.size(); ++i)
                if (m_entries[i].uses < m_entries[slot].uses) slot = i;
            m_entries[slot] = Entry{key, 0, std::move(value)};
        } else {
            m_entries.push_back(Entry{key, 0, std::move(value)});
        }
        m_last = slot;
        return m_entries[slot].value;
    }

    std::size_t size() const { return m_entries.size(); }
    void clear() {
        m_entries.clear();
        m_last = SIZE_MAX;
    }

  private:
    struct Entry {
        uint32_t key;
        uint32_t uses;
        T value;
    };
    T* hit(std::size_t i) {
        ++m_entries[i].uses;
        m_last = i;
        return &m_entries[i].value;
    }

    std::vector<Entry> m_entries;
    std::size_t m_capacity;
    std::size_t m_last = SIZE_MAX;
};

} // namespace kestrum
