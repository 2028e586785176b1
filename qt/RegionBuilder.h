#pragma once
// The union of many small rectangles as a QRegion, made in one pass: a
// frame's LEDs ask for a few dozen places, and adding them to a QRegion one
// by one merged and reallocated the region each time. The rectangles are cut
// into horizontal bands and joined there: the banded form QRegion's own
// operations make and expect (top to bottom and left to right, no overlaps,
// no two side by side, a band with the same spans as the one above joined to
// it), so the region is handed over as it stands.
#include <QRect>
#include <QRegion>

#include <utility>
#include <vector>

namespace m470::qt {

class RegionBuilder {
public:
    void Add(const QRect& rect) {
        if (!rect.isEmpty()) rects_.push_back(rect);
    }
    bool Empty() const { return rects_.empty(); }
    // The union of the rectangles added since the last Take; the builder is
    // empty after it and keeps its room for the next frame.
    QRegion Take();

private:
    // One band's x-intervals, merged: [first, second).
    void SpansOfBand(int top, int bottom);

    std::vector<QRect> rects_;
    std::vector<int> edges_;
    std::vector<std::pair<int, int>> spans_;
    std::vector<QRect> banded_;
};

}  // namespace m470::qt
