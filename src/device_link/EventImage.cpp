#include "device_link/EventImage.h"

namespace m470 {
namespace {

void Put16(std::vector<uint8_t>& image, size_t at, size_t value) {
    image[at] = static_cast<uint8_t>(value);
    image[at + 1] = static_cast<uint8_t>(value >> 8);
}

size_t Get16(const uint8_t* image, size_t at) { return static_cast<size_t>(image[at] | image[at + 1] << 8); }

}  // namespace

size_t EventImageLength(const std::vector<ImageEntry>& entries) {
    size_t events = 0;
    for (const ImageEntry& entry : entries) events += entry.size();
    return kEventImageHeader + 6 * entries.size() + 4 * events;
}

uint32_t EventImageSurplus(size_t total, size_t capacity) {
    if (total <= capacity) return 0;
    return static_cast<uint32_t>((total - capacity) / 4 + 1);
}

std::vector<uint8_t> BuildEventImage(const std::vector<ImageEntry>& entries) {
    const size_t total = EventImageLength(entries);
    std::vector<uint8_t> image(total, 0);
    Put16(image, 0, kEventImageMagic);
    Put16(image, 2, total);
    Put16(image, 4, entries.size());
    size_t at = kEventImageHeader + 2 * entries.size();
    for (size_t i = 0; i < entries.size(); ++i) {
        Put16(image, kEventImageHeader + 2 * i, at);
        Put16(image, at, entries[i].size());
        at += 4;
        for (const ImageEvent& event : entries[i]) {
            for (uint8_t byte : event) image[at++] = byte;
        }
    }
    return image;
}

bool ParseEventImage(const uint8_t* image, size_t length, std::vector<ImageEntry>& entries) {
    entries.clear();
    if (length < kEventImageHeader || Get16(image, 0) != kEventImageMagic || Get16(image, 2) != length) return false;
    const size_t count = Get16(image, 4);
    if (kEventImageHeader + 2 * count > length) return false;
    size_t expected = kEventImageHeader + 2 * count;
    for (size_t i = 0; i < count; ++i) {
        const size_t offset = Get16(image, kEventImageHeader + 2 * i);
        if (offset != expected || offset + 4 > length) return false;  // entries follow each other directly
        const size_t events = Get16(image, offset);
        if (offset + 4 + 4 * events > length) return false;
        ImageEntry entry;
        for (size_t e = 0; e < events; ++e) {
            const uint8_t* event = image + offset + 4 + 4 * e;
            entry.push_back({event[0], event[1], event[2], event[3]});
        }
        entries.push_back(std::move(entry));
        expected = offset + 4 + 4 * events;
    }
    return expected == length;
}

}  // namespace m470
