#include "qt/RegionBuilder.h"

#include <algorithm>

namespace m470::qt {

void RegionBuilder::SpansOfBand(int top, int bottom) {
    spans_.clear();
    for (const QRect& rect : rects_)
        if (rect.top() <= top && rect.bottom() + 1 >= bottom) spans_.emplace_back(rect.left(), rect.right() + 1);
    std::sort(spans_.begin(), spans_.end());
    size_t merged = 0;
    for (const auto& span : spans_) {
        // Overlapping or touching intervals are one: QRegion keeps no two
        // rectangles side by side in a band.
        if (merged > 0 && span.first <= spans_[merged - 1].second)
            spans_[merged - 1].second = std::max(spans_[merged - 1].second, span.second);
        else
            spans_[merged++] = span;
    }
    spans_.resize(merged);
}

QRegion RegionBuilder::Take() {
    edges_.clear();
    for (const QRect& rect : rects_) {
        edges_.push_back(rect.top());
        edges_.push_back(rect.bottom() + 1);
    }
    std::sort(edges_.begin(), edges_.end());
    edges_.erase(std::unique(edges_.begin(), edges_.end()), edges_.end());
    banded_.clear();
    size_t lastBand = 0;  // where the band above starts in banded_
    int lastBottom = 0;   // one past it; the band above exists when banded_ is not empty
    for (size_t i = 0; i + 1 < edges_.size(); ++i) {
        const int top = edges_[i], bottom = edges_[i + 1];
        SpansOfBand(top, bottom);
        if (spans_.empty()) continue;
        // A band right under one with the same intervals makes it taller.
        const bool sameAsAbove =
            !banded_.empty() && lastBottom == top && banded_.size() - lastBand == spans_.size() &&
            std::equal(spans_.begin(), spans_.end(), banded_.begin() + static_cast<std::ptrdiff_t>(lastBand),
                       [](const std::pair<int, int>& span, const QRect& rect) {
                           return span.first == rect.left() && span.second == rect.right() + 1;
                       });
        if (sameAsAbove) {
            for (size_t j = lastBand; j < banded_.size(); ++j) banded_[j].setBottom(bottom - 1);
        } else {
            lastBand = banded_.size();
            for (const auto& span : spans_) banded_.emplace_back(span.first, top, span.second - span.first, bottom - top);
        }
        lastBottom = bottom;
    }
    rects_.clear();
    QRegion region;
    if (!banded_.empty()) region.setRects(banded_.data(), static_cast<int>(banded_.size()));
    return region;
}

}  // namespace m470::qt
