#include "recoil/RecoilImage.h"

#include "platform/DebugTrace.h"

namespace m470 {

std::optional<std::vector<uint8_t>> BuildRecoilImage(const std::vector<ImageEntry>& patterns) {
    const size_t total = EventImageLength(patterns);
    if (total > kMaxRecoilImageBytes) {
        DebugTrace::Printf("recoil image of %zu bytes does not fit 16-bit lengths: not sent", total);
        return std::nullopt;
    }
    return BuildEventImage(patterns);
}

}  // namespace m470
