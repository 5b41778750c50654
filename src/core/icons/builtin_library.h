#pragma once
// The built-in icon library, "Default": 62 pictures "0" to "61" (see builtin_catalogue.h),
// drawn by tools/make_builtin_icons.cpp at build time and compiled in as bytes of a library
// file, so a map draws its notes even when no "icons.lib" lies beside the program.

#include <cstdint>
#include <span>

namespace kestrum {

std::span<const uint8_t> builtinIconLibrary();

} // namespace kestrum
