// Feeds arbitrary bytes to the descriptor parser, then unpacks the rest of the
// input as a report against every collection it found.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "device_link/HidDescriptor.h"
#include "device_link/HidDevice.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const size_t split = data[0] % size;
    std::vector<uint8_t> descriptor(data + 1, data + 1 + (split > 0 ? split - 1 : 0));
    std::vector<uint8_t> report(data + 1 + descriptor.size(), data + size);
    m470::HidDescriptorInfo info;
    if (!m470::ParseReportDescriptor(descriptor.data(), descriptor.size(), info) || report.empty()) return 0;
    for (const m470::HidCollection& collection : info.collections) {
        std::vector<m470::HidDataItem> items = m470::BuildInputItems(collection);
        m470::CHidDevice::UnpackReport(report.data(), report.size(), m470::HidReportType::Input, items, collection);
    }
    return 0;
}
