#pragma once
// What each picture of the built-in icon library shows. The pictures are named by number
// ("0" to "61"); importers pick them by meaning through this table, and the library generator
// draws them from it.

#include <array>
#include <string_view>

namespace kestrum {

struct BuiltinIcon {
    int number;
    std::string_view key; // stable English key
};

inline constexpr std::array<BuiltinIcon, 62> kBuiltinIcons = {{
    {0, "fuel"},          {1, "restaurant"},  {2, "cafe"},         {3, "fast_food"},     {4, "bar"},
    {5, "hospital"},      {6, "pharmacy"},    {7, "doctor"},       {8, "bank"},          {9, "atm"},
    {10, "shop"},         {11, "supermarket"}, {12, "school"},     {13, "university"},   {14, "kindergarten"},
    {15, "church"},       {16, "mosque"},     {17, "synagogue"},   {18, "cemetery"},     {19, "parking"},
    {20, "bus_stop"},     {21, "rail_station"}, {22, "airport"},   {23, "ferry"},        {24, "post"},
    {25, "police"},       {26, "fire_station"}, {27, "hotel"},     {28, "museum"},       {29, "theatre"},
    {30, "cinema"},       {31, "library"},    {32, "park"},        {33, "stadium"},      {34, "swimming"},
    {35, "zoo"},          {36, "monument"},   {37, "viewpoint"},   {38, "information"},  {39, "poi"},
    {40, "town_hall"},    {41, "car_repair"}, {42, "car_wash"},    {43, "car_rental"},   {44, "telephone"},
    {45, "toilets"},      {46, "camping"},    {47, "picnic"},      {48, "beach"},        {49, "peak"},
    {50, "cave"},         {51, "lighthouse"}, {52, "bridge"},      {53, "dam"},          {54, "factory"},
    {55, "spring"},       {56, "border_crossing"}, {57, "speed_camera"}, {58, "wifi"},   {59, "computer_shop"},
    {60, "traffic_police"}, {61, "map_point"},
}};

} // namespace kestrum
