#pragma once
// Where each field of a ".MAP" file lies: the one table the reader and the writer both follow,
// so that the two cannot drift apart. Offsets are bytes from the start of their record or
// block; records are packed. A field a version does not store is kAbsent, and the reader gives
// it the value the model defines for files without it.
//
// The layouts are named as the format's history names them: header 14 (versions 10 to 14) and
// header 1 (versions 1 to 9), records R70, R83, R51 (R51H with Height), R56 and R14, address
// forms 1 to 4 and the 32-byte code, the fixed text form T, the note forms N1 and N2.

#include "model/map_header.h"
#include "model/map_object.h"
#include "model/types.h"

#include <cstddef>
#include <cstdint>
#include <limits>

namespace kestrum::map_layout {

inline constexpr std::size_t kAbsent = std::numeric_limits<std::size_t>::max();

constexpr bool stored(std::size_t offset) { return offset != kAbsent; }

// ---- Header ---------------------------------------------------------------------------------

// Fields at the same place in every version.
inline constexpr std::size_t kSignature = 0; // ShortString[40]
inline constexpr std::size_t kSignatureCapacity = 40;
inline constexpr std::size_t kVersion = kVersionOffset; // int32
inline constexpr std::size_t kNameMap = 45;             // ShortString[255]
inline constexpr std::size_t kCreatedBy = 301;          // ShortString[255]
inline constexpr std::size_t kNameMapCapacity = 255;
inline constexpr std::size_t kKept557 = 557; // carried bytes, not interpreted
inline constexpr std::size_t kMashtab = 562; // int32
inline constexpr std::size_t kDate = 566;    // Double
inline constexpr std::size_t kObjectCount = 574;
inline constexpr std::size_t kNextID = 578;
// Enough of any header to tell its version.
inline constexpr std::size_t kVersionProbe = kVersion + 4;

struct HeaderFields {
    std::size_t size = 0;
    std::size_t keptBytes = 0; // carried from 557 on: the byte at 561 only from version 10
    std::size_t Scale = kAbsent;   // Double; 100 where absent
    std::size_t XWind = kAbsent;   // Single
    std::size_t YWind = kAbsent;   // Single
    std::size_t StreetCount = kAbsent;
    std::size_t NextStreetCode = kAbsent;
    std::size_t TownCount = kAbsent; // 0 where absent
    std::size_t NextTownCode = kAbsent;
    std::size_t Kept614 = kAbsent; // one carried byte
};

inline constexpr HeaderFields kHeader14{.size = kHeaderSize,
                                        .keptBytes = 5,
                                        .Scale = 582,
                                        .XWind = 590,
                                        .YWind = 594,
                                        .StreetCount = 598,
                                        .NextStreetCode = 602,
                                        .TownCount = 606,
                                        .NextTownCode = 610,
                                        .Kept614 = 614};
// Versions 1 to 9: four ignored bytes at 582 where the scale went later.
inline constexpr HeaderFields kHeader9{.size = kHeaderSizeV9,
                                       .keptBytes = 4,
                                       .XWind = 586,
                                       .YWind = 590,
                                       .StreetCount = 594,
                                       .NextStreetCode = 598,
                                       .TownCount = 602,
                                       .NextTownCode = 606};
inline constexpr HeaderFields kHeader1{.size = kHeaderSizeV1,
                                       .keptBytes = 4,
                                       .XWind = 586,
                                       .YWind = 590,
                                       .StreetCount = 594,
                                       .NextStreetCode = 598};

constexpr const HeaderFields& headerFields(int32_t version) {
    return version >= 10 ? kHeader14 : version == 9 ? kHeader9 : kHeader1;
}

static_assert(kHeader14.Kept614 + 1 == kHeader14.size);
static_assert(kHeader9.NextTownCode + 4 == kHeader9.size);
static_assert(kHeader1.NextStreetCode + 4 == kHeader1.size);

// ---- Dictionary entry (all versions) ----------------------------------------------------------

namespace dictionary_entry {
inline constexpr std::size_t Code = 0; // int16
inline constexpr std::size_t Name = 2; // ShortString[40]
inline constexpr std::size_t NameCapacity = 40;
inline constexpr std::size_t size = 43;
} // namespace dictionary_entry

// ---- Object record ---------------------------------------------------------------------------

struct RecordFields {
    std::size_t size = 0;
    std::size_t ID = 0;
    std::size_t Reserved1 = kAbsent; // -1 where absent
    std::size_t Reserved2 = kAbsent; // 0 where absent
    std::size_t Corners = kAbsent;   // 4 x (X, Y) Single; computed from the data where absent
    std::size_t Center = kAbsent;    // X, Y Single; computed from the corners where absent
    std::size_t Ploskost = kAbsent;
    std::size_t ClassCode = kAbsent;
    std::size_t Locked = kAbsent;
    std::size_t Kind = kAbsent;
    std::size_t DataCount = kAbsent;
    std::size_t Alpha = kAbsent; // 255 where absent
    std::size_t PenColor = kAbsent;
    std::size_t PenStyle = kAbsent;
    std::size_t PenWidth = kAbsent;
    std::size_t PenFlags = kAbsent;
    std::size_t BrushColor = kAbsent;
    std::size_t BrushStyle = kAbsent;
    std::size_t HasAddress = kAbsent;
    std::size_t HasExtra = kAbsent;
    std::size_t Height = kAbsent; // 0 where absent
    bool penWidthInt = true;      // the pen width stored as a whole number
};

inline constexpr RecordFields kRecordR70{.size = 70,
                                         .ID = 0,
                                         .Corners = 4,
                                         .Ploskost = 36,
                                         .ClassCode = 40,
                                         .Locked = 44,
                                         .Kind = 45,
                                         .DataCount = 46,
                                         .PenColor = 50,
                                         .PenStyle = 54,
                                         .PenWidth = 55,
                                         .PenFlags = 59,
                                         .BrushColor = 63,
                                         .BrushStyle = 67,
                                         .HasAddress = 68,
                                         .HasExtra = 69};
// The first 83 bytes of the record as it was kept in memory then.
inline constexpr RecordFields kRecordR83{.size = 83,
                                         .ID = 0,
                                         .Reserved1 = 4,
                                         .Reserved2 = 8,
                                         .Corners = 9,
                                         .Center = 41,
                                         .Ploskost = 49,
                                         .ClassCode = 53,
                                         .Locked = 57,
                                         .Kind = 58,
                                         .DataCount = 59,
                                         .PenColor = 63,
                                         .PenStyle = 67,
                                         .PenWidth = 68,
                                         .PenFlags = 72,
                                         .BrushColor = 76,
                                         .BrushStyle = 80,
                                         .HasAddress = 81,
                                         .HasExtra = 82};
inline constexpr RecordFields kRecordR51{.size = 51,
                                         .ID = 0,
                                         .Reserved1 = 4,
                                         .Reserved2 = 8,
                                         .Center = 9,
                                         .Ploskost = 17,
                                         .ClassCode = 21,
                                         .Locked = 25,
                                         .Kind = 26,
                                         .DataCount = 27,
                                         .PenColor = 31,
                                         .PenStyle = 35,
                                         .PenWidth = 36,
                                         .PenFlags = 40,
                                         .BrushColor = 44,
                                         .BrushStyle = 48,
                                         .HasAddress = 49,
                                         .HasExtra = 50};
inline constexpr RecordFields kRecordR51H = [] {
    RecordFields r = kRecordR51;
    r.size = 55;
    r.Height = 51;
    return r;
}();
inline constexpr RecordFields kRecordR56{.size = 56,
                                         .ID = 0,
                                         .Reserved1 = 4,
                                         .Reserved2 = 8,
                                         .Center = 9,
                                         .Ploskost = 17,
                                         .ClassCode = 21,
                                         .Locked = 25,
                                         .Kind = 26,
                                         .DataCount = 27,
                                         .Alpha = 31,
                                         .PenColor = 32,
                                         .PenStyle = 36,
                                         .PenWidth = 37,
                                         .PenFlags = 41,
                                         .BrushColor = 45,
                                         .BrushStyle = 49,
                                         .HasAddress = 50,
                                         .HasExtra = 51,
                                         .Height = 52};
// Versions 13 and 14, and what the writer produces.
inline constexpr RecordFields kRecordR14 = [] {
    RecordFields r = kRecordR56;
    r.penWidthInt = false;
    return r;
}();

inline constexpr std::size_t kLargestRecord = kRecordR83.size;

constexpr const RecordFields& recordFields(int32_t version) {
    return version <= 3    ? kRecordR70
           : version <= 7  ? kRecordR83
           : version <= 10 ? kRecordR51
           : version == 11 ? kRecordR51H
           : version == 12 ? kRecordR56
                           : kRecordR14;
}

static_assert(kRecordR70.HasExtra + 1 == kRecordR70.size);
static_assert(kRecordR83.HasExtra + 1 == kRecordR83.size);
static_assert(kRecordR51.HasExtra + 1 == kRecordR51.size);
static_assert(kRecordR51H.Height + 4 == kRecordR51H.size);
static_assert(kRecordR14.Height + 4 == kRecordR14.size);

// ---- Address block ---------------------------------------------------------------------------

// Codes are int16, house numbers ShortStrings of the given capacity.
struct AddressFields {
    std::size_t size = 0;
    std::size_t TownCode = kAbsent; // -1 where absent
    std::size_t StreetCode = kAbsent;
    std::size_t House = kAbsent;
    std::size_t HouseCapacity = 0;
    std::size_t Street1Code = kAbsent; // -1 where absent
    std::size_t House1 = kAbsent;      // empty where absent
    std::size_t House1Capacity = 0;
};

inline constexpr AddressFields kAddressForm1{.size = 7, .StreetCode = 0, .House = 2, .HouseCapacity = 4};
inline constexpr AddressFields kAddressForm2{.size = 9, .StreetCode = 0, .House = 2, .HouseCapacity = 6};
inline constexpr AddressFields kAddressForm3{.size = 18,
                                             .StreetCode = 0,
                                             .House = 2,
                                             .HouseCapacity = 6,
                                             .Street1Code = 9,
                                             .House1 = 11,
                                             .House1Capacity = 6};
inline constexpr AddressFields kAddressForm4{.size = 20,
                                             .TownCode = 0,
                                             .StreetCode = 2,
                                             .House = 4,
                                             .HouseCapacity = 6,
                                             .Street1Code = 11,
                                             .House1 = 13,
                                             .House1Capacity = 6};
// Version 14: the in-memory TAddressCode, verbatim.
inline constexpr AddressFields kAddressCode{.size = kAddressCodeSize,
                                            .TownCode = 0,
                                            .StreetCode = 2,
                                            .House = 4,
                                            .HouseCapacity = 12,
                                            .Street1Code = 17,
                                            .House1 = 19,
                                            .House1Capacity = 12};

constexpr const AddressFields& addressFields(int32_t version) {
    return version <= 3    ? kAddressForm1
           : version <= 6  ? kAddressForm2
           : version <= 8  ? kAddressForm3
           : version <= 13 ? kAddressForm4
                           : kAddressCode;
}

static_assert(kAddressForm3.House1 + 1 + kAddressForm3.House1Capacity == kAddressForm3.size);
static_assert(kAddressForm4.House1 + 1 + kAddressForm4.House1Capacity == kAddressForm4.size);
static_assert(kAddressCode.House1 + 1 + kAddressCode.House1Capacity == kAddressCode.size);

// ---- Data blocks -----------------------------------------------------------------------------

// The variable text block (version 8 on): fixed fields, then Length characters and one spare
// byte. FontSize is an int32 up to version 12, a Single from 13.
namespace text_block {
inline constexpr std::size_t X = 0;
inline constexpr std::size_t Y = 4;
inline constexpr std::size_t Angle = 8; // int32, tenths of a degree
inline constexpr std::size_t FontIndex = 12;
inline constexpr std::size_t FontSize = 13;
inline constexpr std::size_t Length = 17; // int32
inline constexpr std::size_t fixed = kTextBlockFixed;
static_assert(Length + 4 == fixed);
} // namespace text_block

// Form T (versions 1 to 7): the same fields up to FontSize (an int32), then a ShortString[70].
namespace text_form_t {
using text_block::Angle, text_block::FontIndex, text_block::FontSize, text_block::X, text_block::Y;
inline constexpr std::size_t Text = 17;
inline constexpr std::size_t TextCapacity = 70;
inline constexpr std::size_t size = 88;
static_assert(Text + 1 + TextCapacity == size);
} // namespace text_form_t

// The variable note block (version 8 on): fixed fields, then Length characters and one spare byte.
namespace note_block {
inline constexpr std::size_t X = 0;
inline constexpr std::size_t Y = 4;
inline constexpr std::size_t LibName = 8;   // ShortString[30]
inline constexpr std::size_t IconName = 39; // ShortString[30]
inline constexpr std::size_t NameCapacity = 30;
inline constexpr std::size_t Length = 70; // int32
inline constexpr std::size_t fixed = kNoteBlockFixed;
static_assert(IconName + 1 + NameCapacity == Length && Length + 4 == fixed);
} // namespace note_block

// Form N1 (versions 1 to 4): an icon number of the "DEFAULT" library.
namespace note_form_n1 {
using note_block::X, note_block::Y;
inline constexpr std::size_t IconNumber = 8; // int32, then 4 ignored bytes
inline constexpr std::size_t Text = 16;      // ShortString[255]
inline constexpr std::size_t TextCapacity = 255;
inline constexpr std::size_t size = 272;
static_assert(Text + 1 + TextCapacity == size);
} // namespace note_form_n1

// Form N2 (versions 5 to 7).
namespace note_form_n2 {
using note_block::IconName, note_block::LibName, note_block::NameCapacity, note_block::X, note_block::Y;
inline constexpr std::size_t Text = 74; // after 4 ignored bytes; ShortString[255]
inline constexpr std::size_t TextCapacity = 255;
inline constexpr std::size_t size = 330;
static_assert(Text + 1 + TextCapacity == size);
} // namespace note_form_n2

// The bitmap header before the image bytes.
struct BitmapFields {
    std::size_t size = 0;
    std::size_t Corners = 0; // 4 x (X, Y) Single
    std::size_t ImageFormat = 32;
    std::size_t Transparent = kAbsent;      // 0 where absent
    std::size_t TransparentColor = kAbsent; // 0xFFFFFF where absent
    std::size_t ImageLength = kAbsent;      // int32; no image where absent
};

inline constexpr BitmapFields kBitmap14{
    .size = kBitmapBlockSize, .Transparent = 33, .TransparentColor = 34, .ImageLength = 38};
inline constexpr BitmapFields kBitmap12{.size = 37, .ImageLength = 33};
// Versions 1 to 3 had no pictures: the block is the placement alone.
inline constexpr BitmapFields kBitmapPlacement{.size = kBitmapBlockSize, .Transparent = 33, .TransparentColor = 34};

// Versions 4 to 11 share the latest layout; only version 12 had its own.
constexpr const BitmapFields& bitmapFields(int32_t version) {
    return version <= 3 ? kBitmapPlacement : version == 12 ? kBitmap12 : kBitmap14;
}

static_assert(kBitmap14.ImageLength + 4 == kBitmap14.size);
static_assert(kBitmap12.ImageLength + 4 == kBitmap12.size);

} // namespace kestrum::map_layout
