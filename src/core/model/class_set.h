#pragma once
// One bit per class code 0..512,031: which classes are drawn (with the filter on) or picked.

#include <cstdint>
#include <vector>

namespace kestrum {

class TClassSet {
  public:
    static constexpr int32_t kWords = 32002;
    static constexpr int32_t kCodes = kWords * 16;

    explicit TClassSet(bool allSet = true) : m_bits(kCodes, allSet) {}

    // Codes outside the set's range are never members.
    bool contains(int32_t code) const { return code >= 0 && code < kCodes && m_bits[static_cast<std::size_t>(code)]; }
    void set(int32_t code, bool on) {
        if (code >= 0 && code < kCodes) m_bits[static_cast<std::size_t>(code)] = on;
    }
    void setAll(bool on) { m_bits.assign(kCodes, on); }

  private:
    std::vector<bool> m_bits;
};

} // namespace kestrum
