#pragma once
// Which top-level objects may show in a rectangle, without reading every object.
//
// Each object's corners give it a box; a grid over the map lists, per cell, the objects whose
// boxes reach it. A query marks the objects of the cells the rectangle covers and reads the
// marks back in list order, so drawing order is kept and no object comes twice. The answer is
// a superset: the caller still applies its exact test to each.
//
// The index belongs to one state of one list and is rebuilt when the list's generation moves
// on. A list that changes between every two frames (an edit in progress) is scanned whole
// instead, so that building never costs more than it saves.

#include "model/map_object.h"

#include <cstdint>
#include <vector>

namespace kestrum {

class SpatialIndex {
  public:
    // Indices of the objects whose boxes meet `r` (edges included), ascending, with every
    // object whose corners are not finite numbers; nullptr when the list should be scanned.
    const std::vector<int>* candidates(const TQevMapList& list, const TMapRect& r);

  private:
    void build(const TQevMapList& list);
    int column(double x) const;
    int row(double y) const;
    void mark(int index) { m_marks[static_cast<std::size_t>(index) >> 6] |= uint64_t{1} << (index & 63); }

    const TQevMapList* m_list = nullptr;
    uint64_t m_built = 0;    // the generation the grid describes; 0 when there is none
    uint64_t m_lastSeen = 0; // the generation of the previous query
    TMapRect m_extent;
    int m_columns = 0, m_rows = 0;
    double m_cellWidth = 1, m_cellHeight = 1;
    std::vector<uint32_t> m_cellStart; // per cell, into m_cellItems; one more at the end
    std::vector<int32_t> m_cellItems;
    std::vector<int32_t> m_everywhere; // boxes over too many cells, or not finite
    std::vector<uint64_t> m_marks;     // one bit per object, clear between queries
    std::vector<int> m_out;
};

} // namespace kestrum
