// The field table the reader and the writer share: a wrong offset there would make both agree
// with each other and still disagree with every file, so each layout is checked to tile its
// record exactly, field by field, with no overlap and no gap.

#include "io/map_layout.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

using namespace kestrum;
namespace L = kestrum::map_layout;

namespace {

using Span = std::pair<std::size_t, std::size_t>; // offset, width

// Fails naming the first byte covered twice or not at all.
void expectTiles(std::size_t size, const std::vector<Span>& fields) {
    std::vector<int> cover(size, 0);
    for (const auto& [offset, width] : fields) {
        if (offset == L::kAbsent) continue;
        ASSERT_LE(offset + width, size) << "field at " << offset << " runs past the end";
        for (std::size_t i = offset; i < offset + width; ++i) ++cover[i];
    }
    for (std::size_t i = 0; i < size; ++i) EXPECT_EQ(cover[i], 1) << "byte " << i << " of " << size;
}

std::vector<Span> recordSpans(const L::RecordFields& f) {
    return {{f.ID, 4},        {f.Reserved1, 4},  {f.Reserved2, 1},  {f.Corners, 32},   {f.Center, 8},
            {f.Ploskost, 4},  {f.ClassCode, 4},  {f.Locked, 1},     {f.Kind, 1},       {f.DataCount, 4},
            {f.Alpha, 1},     {f.PenColor, 4},   {f.PenStyle, 1},   {f.PenWidth, 4},   {f.PenFlags, 4},
            {f.BrushColor, 4}, {f.BrushStyle, 1}, {f.HasAddress, 1}, {f.HasExtra, 1},   {f.Height, 4}};
}

std::vector<Span> addressSpans(const L::AddressFields& f) {
    return {{f.TownCode, 2},
            {f.StreetCode, 2},
            {f.House, f.HouseCapacity + 1},
            {f.Street1Code, 2},
            {f.House1, f.House1Capacity == 0 ? 0 : f.House1Capacity + 1}};
}

} // namespace

TEST(MapLayout, RecordsAndAddressFormsArePackedFieldByField) {
    for (int32_t v = 1; v <= kCurrentMapVersion; ++v) {
        SCOPED_TRACE("version " + std::to_string(v));
        expectTiles(L::recordFields(v).size, recordSpans(L::recordFields(v)));
        expectTiles(L::addressFields(v).size, addressSpans(L::addressFields(v)));
    }
    // The sizes each version's records have on disk.
    const std::size_t recordSize[] = {70, 70, 70, 83, 83, 83, 83, 51, 51, 51, 55, 56, 56, 56};
    const std::size_t addressSize[] = {7, 7, 7, 9, 9, 9, 18, 18, 20, 20, 20, 20, 20, 32};
    for (int32_t v = 1; v <= kCurrentMapVersion; ++v) {
        EXPECT_EQ(L::recordFields(v).size, recordSize[v - 1]) << "version " << v;
        EXPECT_EQ(L::addressFields(v).size, addressSize[v - 1]) << "version " << v;
    }
    // Only versions 13 and 14 store the pen width as a Single.
    EXPECT_TRUE(L::recordFields(12).penWidthInt);
    EXPECT_FALSE(L::recordFields(13).penWidthInt);
}

TEST(MapLayout, HeadersAndBlocksTileTheirBytes) {
    const auto header = [](const L::HeaderFields& f) {
        std::vector<Span> s = {{L::kSignature, L::kSignatureCapacity + 1},
                               {L::kVersion, 4},
                               {L::kNameMap, L::kNameMapCapacity + 1},
                               {L::kCreatedBy, L::kNameMapCapacity + 1},
                               {L::kKept557, 5}, // the fifth byte is the one versions 1 to 9 do not carry
                               {L::kMashtab, 4},
                               {L::kDate, 8},
                               {L::kObjectCount, 4},
                               {L::kNextID, 4},
                               {f.Scale, 8},
                               {f.XWind, 4},
                               {f.YWind, 4},
                               {f.StreetCount, 4},
                               {f.NextStreetCode, 4},
                               {f.TownCount, 4},
                               {f.NextTownCode, 4},
                               {f.Kept614, 1}};
        if (!L::stored(f.Scale)) s.push_back({582, 4}); // ignored where the scale went later
        return s;
    };
    expectTiles(kHeaderSize, header(L::kHeader14));
    expectTiles(kHeaderSizeV9, header(L::kHeader9));
    expectTiles(kHeaderSizeV1, header(L::kHeader1));
    EXPECT_EQ(&L::headerFields(8), &L::kHeader1);
    EXPECT_EQ(&L::headerFields(9), &L::kHeader9);
    EXPECT_EQ(&L::headerFields(10), &L::kHeader14);

    {
        namespace T = L::text_block;
        expectTiles(T::fixed, {{T::X, 4}, {T::Y, 4}, {T::Angle, 4}, {T::FontIndex, 1}, {T::FontSize, 4}, {T::Length, 4}});
        namespace F = L::text_form_t;
        expectTiles(F::size, {{F::X, 4}, {F::Y, 4}, {F::Angle, 4}, {F::FontIndex, 1}, {F::FontSize, 4},
                              {F::Text, F::TextCapacity + 1}});
    }
    {
        namespace N = L::note_block;
        expectTiles(N::fixed, {{N::X, 4}, {N::Y, 4}, {N::LibName, 31}, {N::IconName, 31}, {N::Length, 4}});
        namespace N1 = L::note_form_n1;
        expectTiles(N1::size, {{N1::X, 4}, {N1::Y, 4}, {N1::IconNumber, 4}, {12, 4}, {N1::Text, 256}});
        namespace N2 = L::note_form_n2;
        expectTiles(N2::size, {{N2::X, 4}, {N2::Y, 4}, {N2::LibName, 31}, {N2::IconName, 31}, {70, 4}, {N2::Text, 256}});
    }
    for (const L::BitmapFields* f : {&L::kBitmap14, &L::kBitmap12, &L::kBitmapPlacement}) {
        std::vector<Span> s = {{f->Corners, 32}, {f->ImageFormat, 1}, {f->Transparent, 1},
                               {f->TransparentColor, 4}, {f->ImageLength, 4}};
        if (!L::stored(f->ImageLength) && f->size > 38) s.push_back({38, 4}); // the placement's unused length
        expectTiles(f->size, s);
    }
    EXPECT_EQ(&L::bitmapFields(12), &L::kBitmap12);
    EXPECT_EQ(&L::bitmapFields(11), &L::kBitmap14);
    EXPECT_EQ(&L::bitmapFields(3), &L::kBitmapPlacement);
}
