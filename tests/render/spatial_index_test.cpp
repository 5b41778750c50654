// The spatial index may hand over more objects than show, never fewer, in list order, and it
// must notice every change to the list it describes.

#include "render/spatial_index.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <utility>
#include <vector>

using namespace kestrum;

namespace {

TQEVMapObjectMem objectAt(float x, float y, float w, float h, float turn) {
    TQEVMapObjectMem o;
    const float c = std::cos(turn), s = std::sin(turn);
    const float dx[4] = {0, w, w, 0}, dy[4] = {0, 0, h, h};
    for (int k = 0; k < 4; ++k) o.Corners[std::size_t(k)] = {x + dx[k] * c - dy[k] * s, y + dx[k] * s + dy[k] * c};
    return o;
}

// The renderer's own test: either diagonal pair of corners not wholly beyond one side.
bool shows(const TQEVMapObjectMem& o, const TMapRect& w) {
    auto code = [&](TMapPoint p) {
        return (p.X < w.MinX ? 1 : p.X > w.MaxX ? 4 : 0) | (p.Y < w.MinY ? 2 : p.Y > w.MaxY ? 8 : 0);
    };
    const auto& c = o.Corners;
    return (code(c[0]) & code(c[2])) == 0 || (code(c[1]) & code(c[3])) == 0;
}

} // namespace

TEST(SpatialIndex, HandsOverEveryObjectThatShowsInListOrder) {
    std::mt19937 rng(5);
    std::uniform_real_distribution<float> at(0, 10000), size(0, 60), turn(0, 6.3f);
    // A city of small objects with a few long roads, points and damaged corners; then a pile of
    // large areas, more than the cell lists take, so that many are listed for every query.
    for (const bool pile : {false, true}) {
        TQevMapList list;
        for (int i = 0; i < 20000; ++i) {
            const int kind = i % 500;
            if (pile) list.Add(objectAt(at(rng), at(rng), 3000, 2000, turn(rng)));
            else if (kind == 0) list.Add(objectAt(at(rng), at(rng), 9000, 20, turn(rng))); // a long road
            else if (kind == 1) list.Add(objectAt(std::numeric_limits<float>::quiet_NaN(), at(rng), 5, 5, 0));
            else if (kind == 2) list.Add(objectAt(std::numeric_limits<float>::infinity(), at(rng), 5, 5, 0));
            else if (kind == 3) list.Add(objectAt(at(rng), at(rng), 0, 0, 0)); // a point
            else list.Add(objectAt(at(rng), at(rng), size(rng), size(rng), turn(rng)));
        }
        SpatialIndex index;
        const TQevMapList& view = list;
        EXPECT_EQ(index.candidates(view, {0, 0, 100, 100}), nullptr); // a list just seen is read whole
        for (int round = 0; round < 100; ++round) {
            const float x = at(rng) * 1.2f - 1000, y = at(rng) * 1.2f - 1000, w = at(rng) / (round % 4 ? 20 : 1);
            const TMapRect r{x, y, x + w, y + w / 2};
            const std::vector<int>* near = index.candidates(view, r);
            if (!near) { // most of the map is read whole
                EXPECT_EQ(round % 4, 0) << round;
                continue;
            }
            ASSERT_TRUE(std::is_sorted(near->begin(), near->end()));
            ASSERT_EQ(std::adjacent_find(near->begin(), near->end()), near->end());
            std::vector<bool> listed(std::size_t(view.count()), false);
            for (const int i : *near) listed[std::size_t(i)] = true;
            for (int i = 0; i < view.count(); ++i)
                ASSERT_TRUE(listed[std::size_t(i)] || !shows(view[i], r)) << pile << " round " << round << ", object " << i;
            // and it narrows things down
            EXPECT_TRUE(pile || round % 4 == 0 || near->size() < std::size_t(view.count()) / 4);
        }
    }
}

TEST(SpatialIndex, AFlatExtentMillionsWideStillGetsAGrid) {
    // Objects on one line across ten billion units, as a damaged map may hold: the grid's shape
    // must not overflow. UBSan guards the conversion.
    TQevMapList list;
    for (int i = 0; i < 5000; ++i) list.Add(objectAt(float(i) * 2e6f, 0, 1, 0, 0));
    SpatialIndex index;
    const TQevMapList& view = list;
    index.candidates(view, {0, 0, 1, 1}); // the first call reads the list whole
    const std::vector<int>* near = index.candidates(view, {0, -1, 10, 1});
    ASSERT_NE(near, nullptr);
    EXPECT_TRUE(std::find(near->begin(), near->end(), 0) != near->end());
}

TEST(SpatialIndex, FollowsEveryChangeToTheList) {
    TQevMapList list;
    for (int i = 0; i < 5000; ++i) list.Add(objectAt(float(i % 100) * 10, float(i / 100) * 10, 5, 5, 0));
    SpatialIndex index;
    const TMapRect corner{-1, -1, 3, 3};
    auto near = [&]() -> std::vector<int> { // what the index hands over that does show
        const std::vector<int>* n = index.candidates(list, corner);
        if (!n) n = index.candidates(list, corner); // the second look at a quiet list builds
        if (!n) return {-1};
        std::vector<int> showing;
        for (const int i : *n)
            if (shows(std::as_const(list)[i], corner)) showing.push_back(i);
        return showing;
    };
    EXPECT_EQ(near(), std::vector<int>{0});
    list[4999] = objectAt(1, 1, 1, 1, 0); // moved through a reference
    EXPECT_EQ(near(), (std::vector<int>{0, 4999}));
    list.Delete(0);
    EXPECT_EQ(near(), std::vector<int>{4998});
    list.Move(4998, 0);
    EXPECT_EQ(near(), std::vector<int>{0});
    TQevMapList other;
    for (int i = 0; i < 5000; ++i) other.Add(objectAt(500, 500, 5, 5, 0));
    list = std::move(other); // the same list object, other contents
    EXPECT_EQ(near(), std::vector<int>{});
}
