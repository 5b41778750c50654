#pragma once
// Reading byte buffers as maps and comparing objects field by field, blocks included.

#include "io/byte_source.h"
#include "io/map_reader.h"
#include "model/map_document.h"

#include <gtest/gtest.h>

#include <span>
#include <string>
#include <vector>

namespace kestrum::test {

struct Loaded {
    MapDocument doc;
    MapReadResult result;
};

inline Loaded loadBytes(std::span<const uint8_t> bytes, const MapReadOptions& options = {}) {
    Loaded l;
    MemorySource src(bytes);
    l.result = readMap(src, l.doc, options);
    return l;
}

inline void expectSameObject(const TQEVMapObjectMem& a, const TQEVMapObjectMem& b, const std::string& where) {
    SCOPED_TRACE(where);
    EXPECT_EQ(a.ID, b.ID);
    EXPECT_EQ(a.Reserved1, b.Reserved1);
    EXPECT_EQ(a.Reserved2, b.Reserved2);
    EXPECT_EQ(a.Corners, b.Corners);
    EXPECT_EQ(a.Center, b.Center);
    EXPECT_EQ(a.Ploskost, b.Ploskost);
    EXPECT_EQ(a.ClassCode, b.ClassCode);
    EXPECT_EQ(a.Locked, b.Locked);
    EXPECT_EQ(a.Kind, b.Kind);
    EXPECT_EQ(a.DataCount, b.DataCount);
    EXPECT_EQ(a.Pen, b.Pen);
    EXPECT_EQ(a.Brush, b.Brush);
    EXPECT_EQ(a.HasAddress, b.HasAddress);
    EXPECT_EQ(a.HasExtra, b.HasExtra);
    EXPECT_EQ(a.Height, b.Height);
    EXPECT_EQ(a.Alpha, b.Alpha);
    ASSERT_EQ(a.Address != nullptr, b.Address != nullptr);
    if (a.Address) {
        EXPECT_EQ(*a.Address, *b.Address);
    }
    ASSERT_EQ(a.Extra != nullptr, b.Extra != nullptr);
    if (a.Extra) {
        EXPECT_EQ(*a.Extra, *b.Extra);
    }
    ASSERT_EQ(a.Data.index(), b.Data.index());
    EXPECT_TRUE(std::ranges::equal(a.points(), b.points()));
    if (a.text()) {
        EXPECT_EQ(*a.text(), *b.text());
    }
    if (a.note()) {
        EXPECT_EQ(*a.note(), *b.note());
    }
    if (a.bitmap()) {
        EXPECT_EQ(*a.bitmap(), *b.bitmap());
    }
    if (a.children()) {
        ASSERT_EQ(a.children()->count(), b.children()->count());
        for (int i = 0; i < a.children()->count(); ++i)
            expectSameObject((*a.children())[i], (*b.children())[i], where + "/" + std::to_string(i));
    }
}

inline void expectSameObjects(const TQevMapList& a, const TQevMapList& b) {
    ASSERT_EQ(a.count(), b.count());
    for (int i = 0; i < a.count(); ++i)
        expectSameObject(a[i], b[i], "object " + std::to_string(i));
}

} // namespace kestrum::test
