#pragma once
// Little-endian field access for file records: every field is read and written on its own,
// never by copying a struct.

#include <bit>
#include <cstdint>
#include <cstring>
#include <type_traits>

namespace kestrum::le {

template <class T>
T byteswap(T v) {
    static_assert(std::is_trivially_copyable_v<T>);
    unsigned char b[sizeof(T)];
    std::memcpy(b, &v, sizeof(T));
    for (std::size_t i = 0; i < sizeof(T) / 2; ++i) {
        const unsigned char t = b[i];
        b[i] = b[sizeof(T) - 1 - i];
        b[sizeof(T) - 1 - i] = t;
    }
    std::memcpy(&v, b, sizeof(T));
    return v;
}

template <class T>
T load(const uint8_t* p) {
    T v;
    std::memcpy(&v, p, sizeof(T));
    if constexpr (std::endian::native == std::endian::big) v = byteswap(v);
    return v;
}

template <class T>
void store(uint8_t* p, T v) {
    if constexpr (std::endian::native == std::endian::big) v = byteswap(v);
    std::memcpy(p, &v, sizeof(T));
}

} // namespace kestrum::le
