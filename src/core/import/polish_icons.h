#pragma once
// Pictures for the points of Polish-format maps when no "icons.lib" is beside the module. The
// style table numbers its icons as that external library does; most numbers mean what a picture
// of the built-in library already shows, and those points name it. The few the built-in library
// has no picture for are drawn for this table alone (tools/poi_icons.cpp) and added to the
// built-in library under the names below.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace kestrum {

struct PolishIcon {
    int number;             // icon number of the style table (column 7), 1-based
    int builtin;            // picture of the built-in library, or -1 for one of our own
    std::string_view name;  // our own picture's name in the built-in library ("" for builtin)
};

// Every icon number the style table uses, in increasing order.
inline constexpr std::array<PolishIcon, 56> kPolishIcons = {{
    {1, 0, ""},   {2, 1, ""},   {3, 2, ""},   {4, 3, ""},   {5, 4, ""},   {6, 5, ""},   {7, 6, ""},
    {8, 7, ""},   {9, 8, ""},   {11, 10, ""}, {12, 11, ""}, {13, 12, ""}, {16, 15, ""}, {19, 18, ""},
    {20, 19, ""}, {21, 20, ""}, {23, 22, ""}, {24, 23, ""}, {25, 24, ""}, {26, 25, ""}, {27, 26, ""},
    {28, 27, ""}, {29, 28, ""}, {30, 29, ""}, {31, 30, ""}, {32, 31, ""}, {33, 32, ""}, {34, 33, ""},
    {35, 34, ""}, {36, 35, ""}, {37, 36, ""}, {38, 37, ""}, {39, 38, ""},
    {40, -1, "MP-SERVICES"},          // services, casino, golf, ski resort ...: a gear
    {41, 40, ""}, {42, 41, ""}, {43, 42, ""}, {44, 43, ""}, {45, 44, ""}, {46, 45, ""}, {47, 46, ""},
    {48, 47, ""}, {49, 48, ""}, {50, 49, ""},
    {52, -1, "MP-NAVIGATION-LIGHT"},  // navigation lights: a light on a post with beams
    {53, 52, ""}, {54, 53, ""},
    {55, -1, "MP-MINE"},              // mine, oil field: crossed pick and hammer
    {56, 55, ""}, {57, 56, ""}, {59, 58, ""}, {60, 59, ""}, {62, 61, ""},
    {68, -1, "MP-BUILDING"},          // building: a block of windows
    {113, 58, ""}, {135, 51, ""},
}};

// Types whose row gives a number that shows something else: 0x2A00 (food, general) shares 19
// with the cemetery.
inline int polishIconNumberOf(int32_t typeCode, int iconNumber) {
    return typeCode == 0x2A00 ? 2 : iconNumber;
}

// The picture of the built-in library for an icon number of the style table: a built-in
// number, one of our own names, or "39" (point of interest) for numbers the table does not use.
inline std::string polishBuiltinPicture(int32_t typeCode, int iconNumber) {
    const int n = polishIconNumberOf(typeCode, iconNumber);
    for (const PolishIcon& icon : kPolishIcons) {
        if (icon.number != n) continue;
        return icon.builtin >= 0 ? std::to_string(icon.builtin) : std::string(icon.name);
    }
    return "39";
}

} // namespace kestrum
