// Posting the edit buffer: Center is the user's once an object exists (only an append sets it),
// and a post copies the object at most once (KeepCopy) and not at all when it releases it.

#include "component/korvane.h"

#include <gtest/gtest.h>

namespace kestrum {
namespace {

// A line (0,0)-(10,4) appended through the buffer; its Center is then (5,2).
void appendLine(TKorvane& k) {
    k.Instrument(iLine);
    k.NewObject();
    k.SetPoint(0, 0, 0);
    k.SetPoint(1, 10, 4);
    ASSERT_TRUE(k.PostBuffer());
}

TEST(EditBufferPost, AppendSetsCenterWhateverTheBufferHeld) {
    TKorvane k;
    k.Instrument(iLine);
    k.NewObject();
    k.SetPoint(0, 0, 0);
    k.SetPoint(1, 10, 4);
    k.CurrentObject.Center = {77, 77};
    ASSERT_TRUE(k.PostBuffer());
    EXPECT_EQ(k.Objects()[0].Center, (TMapPoint{5, 2}));
    EXPECT_EQ(k.CurrentObject.Center, (TMapPoint{5, 2})); // the copy kept in the buffer too
}

TEST(EditBufferPost, PostOverAnObjectKeepsTheCenterItsUserMoved) {
    TKorvane k;
    appendLine(k);
    // A centre drag, then an edit of the points: the pivot stays where it was put.
    k.LoadBuffer(0);
    k.CurrentObject.Center = {1, 3};
    ASSERT_TRUE(k.PostBuffer());
    EXPECT_EQ(k.Objects()[0].Center, (TMapPoint{1, 3}));

    k.LoadBuffer(0);
    k.SetPoint(1, 20, 8);
    ASSERT_TRUE(k.PostBuffer(TKorvane::AfterPost::Release));
    ASSERT_EQ(k.Objects().count(), 1);
    EXPECT_EQ(k.Objects()[0].Center, (TMapPoint{1, 3}));
    // Corners and extent still follow the points.
    EXPECT_EQ(k.Objects()[0].Corners[2], (TMapPoint{20, 8}));
    EXPECT_EQ(k.MapExtent(), (TMapRect{0, 0, 20, 8}));
    EXPECT_EQ(k.Header().NextID, 1);
}

TEST(EditBufferPost, ReleaseMovesTheObjectAndKeepCopyCopiesOnce) {
    TKorvane k;
    k.Instrument(iLine);
    k.NewObject();
    k.SetPoint(0, 0, 0);
    k.SetPoint(1, 10, 4);
    const TMapPoint* buffered = k.CurrentObject.points().data();
    ASSERT_TRUE(k.PostBuffer(TKorvane::AfterPost::Release));
    // The very points of the buffer are in the list: nothing was copied.
    EXPECT_EQ(k.Objects()[0].points().data(), buffered);
    EXPECT_FALSE(k.BufferHoldsObject());
    EXPECT_TRUE(k.CurrentObject.points().empty());

    k.LoadBuffer(0);
    k.SetPoint(0, 2, 2);
    buffered = k.CurrentObject.points().data();
    ASSERT_TRUE(k.PostBuffer(TKorvane::AfterPost::KeepCopy));
    // The buffer keeps its own points; the list holds a copy of them.
    EXPECT_TRUE(k.BufferHoldsObject());
    EXPECT_EQ(k.CurrentObject.points().data(), buffered);
    EXPECT_NE(k.Objects()[0].points().data(), buffered);
    EXPECT_EQ(k.Objects()[0].points()[0], (TMapPoint{2, 2}));
    // Further edits of the buffer do not reach the stored object until the next post.
    k.SetPoint(0, 3, 3);
    EXPECT_EQ(k.Objects()[0].points()[0], (TMapPoint{2, 2}));
}

} // namespace
} // namespace kestrum
