#pragma once
// The largest single allocation made while a LargestAllocation is alive. Only sanitizer builds
// can watch allocations; elsewhere it reports 0 and the tests still check the diagnostics.

#include <atomic>
#include <cstddef>

#if defined(__SANITIZE_ADDRESS__)
#define KESTRUM_ALLOCATION_HOOKS 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KESTRUM_ALLOCATION_HOOKS 1
#endif
#endif

#ifdef KESTRUM_ALLOCATION_HOOKS
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*malloc_hook)(const volatile void*, std::size_t),
                                                         void (*free_hook)(const volatile void*));
#endif

namespace kestrum::test {

class LargestAllocation {
  public:
    LargestAllocation() {
#ifdef KESTRUM_ALLOCATION_HOOKS
        static const int installed = __sanitizer_install_malloc_and_free_hooks(onMalloc, onFree);
        (void)installed;
#endif
        s_largest = 0;
        s_watching = true;
    }
    ~LargestAllocation() { s_watching = false; }
    std::size_t bytes() const { return s_largest; }

  private:
    static void onMalloc(const volatile void*, std::size_t n) {
        if (!s_watching) return;
        std::size_t seen = s_largest.load();
        while (n > seen && !s_largest.compare_exchange_weak(seen, n)) {
        }
    }
    static void onFree(const volatile void*) {}
    static inline std::atomic<bool> s_watching{false};
    static inline std::atomic<std::size_t> s_largest{0};
};

} // namespace kestrum::test
