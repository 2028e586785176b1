#include "device_link/HidDescriptor.h"

#include <algorithm>
#include <array>
#include <climits>
#include <new>

namespace m470 {
namespace {

// Limits that keep a hostile descriptor from costing memory or time.
constexpr size_t kMaxFields = 1024;
// Each element of a data field becomes one capability entry and one slot in
// every button item of its page, so entries cost memory squared.
constexpr uint32_t kMaxEntriesPerCollection = 4096;
constexpr size_t kMaxUsagesPerItem = 4096;
constexpr size_t kMaxGlobalStack = 16;
constexpr size_t kMaxCollectionDepth = 32;
constexpr uint32_t kMaxReportBits = 8 * 4096;

enum ItemType : uint8_t { kMain = 0, kGlobal = 1, kLocal = 2 };

enum MainTag : uint8_t { kInput = 0x8, kOutput = 0x9, kCollection = 0xA, kFeature = 0xB, kEndCollection = 0xC };
enum GlobalTag : uint8_t {
    kUsagePage = 0x0, kLogicalMinimum = 0x1, kLogicalMaximum = 0x2, kPhysicalMinimum = 0x3, kPhysicalMaximum = 0x4,
    kReportSize = 0x7, kReportId = 0x8, kReportCount = 0x9, kPush = 0xA, kPop = 0xB
};
enum LocalTag : uint8_t { kUsage = 0x0, kUsageMinimum = 0x1, kUsageMaximum = 0x2 };

struct GlobalState {
    uint16_t usagePage = 0;
    int32_t logicalMinimum = 0, logicalMaximum = 0, physicalMinimum = 0, physicalMaximum = 0;
    uint32_t reportSize = 0, reportCount = 0;
    uint8_t reportId = 0;
};

struct LocalState {
    std::vector<uint32_t> usages;  // with page in the high half when given as 4 bytes
    uint32_t usageMinimum = 0, usageMaximum = 0;
    bool hasMinimum = false, hasMaximum = false;
    void Clear() { *this = LocalState{}; }
};

// Bits used so far per (type, report ID) inside one top-level collection.
struct ReportBits {
    std::array<std::array<uint32_t, 256>, 3> bits{};
};

int32_t SignedValue(uint32_t raw, size_t size) {
    if (size == 1) return static_cast<int8_t>(raw);
    if (size == 2) return static_cast<int16_t>(raw);
    return static_cast<int32_t>(raw);
}

class Parser {
public:
    Parser(const uint8_t* data, size_t length) : data_(data), length_(length) {}

    bool Run(HidDescriptorInfo& info) {
        size_t pos = 0;
        while (pos < length_) {
            const uint8_t prefix = data_[pos];
            if (prefix == 0xFE) {  // long item: skipped, but bounds-checked
                if (pos + 2 >= length_) return false;
                const size_t size = data_[pos + 1];
                if (pos + 3 + size > length_) return false;
                pos += 3 + size;
                continue;
            }
            static constexpr size_t kSizes[4] = {0, 1, 2, 4};
            const size_t size = kSizes[prefix & 3];
            if (pos + 1 + size > length_) return false;
            uint32_t raw = 0;
            for (size_t i = 0; i < size; ++i) raw |= static_cast<uint32_t>(data_[pos + 1 + i]) << (8 * i);
            const auto type = static_cast<uint8_t>((prefix >> 2) & 3);
            const auto tag = static_cast<uint8_t>(prefix >> 4);
            pos += 1 + size;
            bool ok = type == kMain ? Main(tag, raw) : type == kGlobal ? Global(tag, raw, size) : type == kLocal ? Local(tag, raw, size) : true;
            if (!ok) return false;
        }
        if (depth_ != 0) return false;
        info.collections = std::move(collections_);
        return true;
    }

private:
    bool Main(uint8_t tag, uint32_t raw) {
        bool ok = true;
        switch (tag) {
            case kCollection:
                if (depth_ == kMaxCollectionDepth) return false;
                if (depth_ == 0) {
                    HidCollection collection;
                    const uint32_t usage = local_.usages.empty() ? local_.usageMinimum : local_.usages.front();
                    collection.usagePage = usage > 0xFFFF ? static_cast<uint16_t>(usage >> 16) : global_.usagePage;
                    collection.usage = static_cast<uint16_t>(usage);
                    collections_.push_back(std::move(collection));
                    bits_ = ReportBits{};
                    entries_ = 0;
                }
                ++depth_;
                break;
            case kEndCollection:
                if (depth_ == 0) return false;
                --depth_;
                break;
            case kInput:
            case kOutput:
            case kFeature:
                ok = AddField(tag == kInput ? HidReportType::Input : tag == kOutput ? HidReportType::Output
                                                                                    : HidReportType::Feature,
                              raw);
                break;
            default:
                break;
        }
        local_.Clear();
        return ok;
    }

    bool AddField(HidReportType type, uint32_t flags) {
        if (depth_ == 0 || collections_.empty()) return true;  // outside any collection: no report of ours
        HidCollection& collection = collections_.back();
        const uint64_t fieldBits = static_cast<uint64_t>(global_.reportSize) * global_.reportCount;
        uint32_t& used = bits_.bits[static_cast<size_t>(type)][global_.reportId];
        if (fieldBits + used > kMaxReportBits || collection.fields.size() >= kMaxFields) return false;
        // Zero-size elements take no report bits, so only this keeps their count bounded.
        if (global_.reportSize == 0 && global_.reportCount != 0) return false;
        const bool isConstant = (flags & 0x01) != 0;
        if (!isConstant) {
            if (global_.reportCount > kMaxEntriesPerCollection - entries_) return false;
            entries_ += global_.reportCount;
        }

        HidField field;
        field.type = type;
        field.reportId = global_.reportId;
        field.bitOffset = used;
        field.reportSize = global_.reportSize;
        field.reportCount = global_.reportCount;
        field.usagePage = global_.usagePage;
        field.isConstant = isConstant;
        field.isArray = (flags & 0x02) == 0;
        field.logicalMinimum = global_.logicalMinimum;
        field.logicalMaximum = global_.logicalMaximum;
        field.physicalMinimum = global_.physicalMinimum;
        field.physicalMaximum = global_.physicalMaximum;
        if (local_.hasMinimum && local_.hasMaximum) {
            field.usageIsRange = true;
            field.usageMinimum = static_cast<uint16_t>(local_.usageMinimum);
            field.usageMaximum = static_cast<uint16_t>(std::max(local_.usageMinimum, local_.usageMaximum));
            if (local_.usageMinimum > 0xFFFF) field.usagePage = static_cast<uint16_t>(local_.usageMinimum >> 16);
        } else {
            for (uint32_t usage : local_.usages) field.usages.push_back(static_cast<uint16_t>(usage));
            if (!local_.usages.empty() && local_.usages.front() > 0xFFFF)
                field.usagePage = static_cast<uint16_t>(local_.usages.front() >> 16);
            if (!field.usages.empty()) {
                field.usageMinimum = *std::min_element(field.usages.begin(), field.usages.end());
                field.usageMaximum = *std::max_element(field.usages.begin(), field.usages.end());
            }
        }
        used += static_cast<uint32_t>(fieldBits);

        if (global_.reportId != 0) collection.numbered = true;
        if (std::find(collection.reportIds.begin(), collection.reportIds.end(), global_.reportId) ==
            collection.reportIds.end())
            collection.reportIds.push_back(global_.reportId);
        if (type == HidReportType::Input &&
            std::find(collection.inputReportIds.begin(), collection.inputReportIds.end(), global_.reportId) ==
                collection.inputReportIds.end())
            collection.inputReportIds.push_back(global_.reportId);
        const auto bytes = static_cast<uint16_t>((used + 7) / 8 + 1);
        uint16_t& length = type == HidReportType::Input    ? collection.inputReportByteLength
                           : type == HidReportType::Output ? collection.outputReportByteLength
                                                           : collection.featureReportByteLength;
        length = std::max(length, bytes);
        if (!field.isConstant) collection.fields.push_back(std::move(field));
        return true;
    }

    bool Global(uint8_t tag, uint32_t raw, size_t size) {
        switch (tag) {
            case kUsagePage: global_.usagePage = static_cast<uint16_t>(raw); break;
            case kLogicalMinimum: global_.logicalMinimum = SignedValue(raw, size); break;
            case kLogicalMaximum: global_.logicalMaximum = SignedValue(raw, size); break;
            case kPhysicalMinimum: global_.physicalMinimum = SignedValue(raw, size); break;
            case kPhysicalMaximum: global_.physicalMaximum = SignedValue(raw, size); break;
            case kReportSize:
                if (raw > 32) return false;  // values wider than 32 bits are not ours
                global_.reportSize = raw;
                break;
            case kReportId:
                if (raw == 0 || raw > 255) return false;
                global_.reportId = static_cast<uint8_t>(raw);
                break;
            case kReportCount:
                if (raw > kMaxReportBits) return false;
                global_.reportCount = raw;
                break;
            case kPush:
                if (stack_.size() == kMaxGlobalStack) return false;
                stack_.push_back(global_);
                break;
            case kPop:
                if (stack_.empty()) return false;
                global_ = stack_.back();
                stack_.pop_back();
                break;
            default: break;
        }
        return true;
    }

    bool Local(uint8_t tag, uint32_t raw, size_t size) {
        const uint32_t usage = size == 4 ? raw : (raw & 0xFFFF);
        switch (tag) {
            case kUsage:
                if (local_.usages.size() == kMaxUsagesPerItem) return false;
                local_.usages.push_back(usage);
                break;
            case kUsageMinimum: local_.usageMinimum = usage; local_.hasMinimum = true; break;
            case kUsageMaximum: local_.usageMaximum = usage; local_.hasMaximum = true; break;
            default: break;
        }
        return true;
    }

    const uint8_t* data_;
    size_t length_;
    GlobalState global_;
    std::vector<GlobalState> stack_;
    LocalState local_;
    size_t depth_ = 0;
    std::vector<HidCollection> collections_;
    ReportBits bits_;
    uint32_t entries_ = 0;  // data elements of the current top-level collection
};

// Reads bitSize bits at bitOffset of the report's data (after the ID byte).
bool ExtractBits(const uint8_t* report, size_t length, uint32_t bitOffset, uint32_t bitSize, uint32_t& value) {
    if (bitSize == 0 || bitSize > 32) return false;
    const uint64_t lastBit = 8ull + bitOffset + bitSize;  // the report ID byte comes first
    if (lastBit > 8ull * length) return false;
    value = 0;
    for (uint32_t i = 0; i < bitSize; ++i) {
        const uint64_t bit = 8ull + bitOffset + i;
        if ((report[bit / 8] >> (bit % 8)) & 1) value |= 1u << i;
    }
    return true;
}

int32_t SignExtend(uint32_t value, uint32_t bits) {
    if (bits >= 32) return static_cast<int32_t>(value);
    const uint32_t sign = 1u << (bits - 1);
    return static_cast<int32_t>((value ^ sign) - sign);
}

}  // namespace

uint16_t HidField::UsageOfElement(uint32_t index) const {
    if (usageIsRange) return static_cast<uint16_t>(std::min<uint32_t>(usageMinimum + index, usageMaximum));
    if (usages.empty()) return 0;
    return usages[std::min<size_t>(index, usages.size() - 1)];
}

std::vector<HidButtonCaps> HidCollection::ButtonCaps(HidReportType type) const {
    std::vector<HidButtonCaps> caps;
    for (const HidField& field : fields) {
        if (field.type != type || !field.IsButton()) continue;
        if (field.usageIsRange || field.isArray) {
            caps.push_back({field.usagePage, field.reportId, field.usageMinimum, field.usageMaximum});
        } else {
            for (uint32_t i = 0; i < field.reportCount; ++i) {
                const uint16_t usage = field.UsageOfElement(i);
                caps.push_back({field.usagePage, field.reportId, usage, usage});
            }
        }
    }
    return caps;
}

std::vector<HidValueCaps> HidCollection::ValueCaps(HidReportType type) const {
    std::vector<HidValueCaps> caps;
    for (const HidField& field : fields) {
        if (field.type != type || field.IsButton()) continue;
        for (uint32_t i = 0; i < field.reportCount; ++i)
            caps.push_back({field.usagePage, field.reportId, field.UsageOfElement(i),
                            field.bitOffset + i * field.reportSize, field.reportSize, field.logicalMinimum,
                            field.logicalMaximum, field.physicalMinimum, field.physicalMaximum});
    }
    return caps;
}

uint32_t HidCollection::MaxUsageListLength(HidReportType type, uint16_t usagePage) const {
    const std::map<uint16_t, uint32_t> lengths = UsageListLengths(type);
    const auto found = lengths.find(usagePage);
    return found == lengths.end() ? 0 : found->second;
}

std::map<uint16_t, uint32_t> HidCollection::UsageListLengths(HidReportType type) const {
    std::map<uint16_t, uint32_t> lengths;
    for (const HidField& field : fields)
        if (field.type == type && field.IsButton()) lengths[field.usagePage] += field.reportCount;
    return lengths;
}

bool HidCollection::HasInputReportId(uint8_t reportId) const {
    return std::find(inputReportIds.begin(), inputReportIds.end(), reportId) != inputReportIds.end();
}

uint16_t HidCollection::ReportByteLength(HidReportType type) const {
    return type == HidReportType::Input    ? inputReportByteLength
           : type == HidReportType::Output ? outputReportByteLength
                                           : featureReportByteLength;
}

bool ParseReportDescriptor(const uint8_t* data, size_t length, HidDescriptorInfo& info) {
    info.collections.clear();
    if (data == nullptr && length != 0) return false;
    try {
        Parser parser(data, length);
        return parser.Run(info);
    } catch (const std::bad_alloc&) {
        info.collections.clear();  // a descriptor that exhausts memory is as bad as a malformed one
        return false;
    }
}

bool GetReportUsages(const HidCollection& collection, HidReportType type, uint16_t usagePage, const uint8_t* report,
                     size_t length, std::vector<uint16_t>& usages) {
    usages.clear();
    if (report == nullptr || length == 0) return false;
    const uint8_t reportId = report[0];
    for (const HidField& field : collection.fields) {
        if (field.type != type || !field.IsButton() || field.usagePage != usagePage || field.reportId != reportId)
            continue;
        for (uint32_t i = 0; i < field.reportCount; ++i) {
            uint32_t value = 0;
            if (!ExtractBits(report, length, field.bitOffset + i * field.reportSize, field.reportSize, value))
                return false;
            if (field.isArray) {
                const int32_t index = field.logicalMinimum < 0 ? SignExtend(value, field.reportSize)
                                                               : static_cast<int32_t>(value);
                if (index < field.logicalMinimum || index > field.logicalMaximum) continue;
                const auto offset = static_cast<uint32_t>(static_cast<int64_t>(index) - field.logicalMinimum);
                const uint64_t ranged = uint64_t{field.usageMinimum} + offset;  // an index past the range names nothing
                const uint16_t usage = field.usageIsRange ? (ranged <= field.usageMaximum ? static_cast<uint16_t>(ranged) : 0)
                                       : offset < field.usages.size() ? field.usages[offset]
                                                                      : 0;
                if (usage != 0) usages.push_back(usage);
            } else if (value != 0) {
                usages.push_back(field.UsageOfElement(i));
            }
        }
    }
    return true;
}

bool GetReportValue(const HidValueCaps& caps, const uint8_t* report, size_t length, uint32_t& raw, int32_t& scaled) {
    if (report == nullptr || length == 0 || report[0] != caps.reportId) return false;
    if (!ExtractBits(report, length, caps.bitOffset, caps.bitSize, raw)) return false;
    const int32_t logical = caps.logicalMinimum < 0 ? SignExtend(raw, caps.bitSize) : static_cast<int32_t>(raw);
    const int64_t logicalSpan = static_cast<int64_t>(caps.logicalMaximum) - caps.logicalMinimum;
    const int64_t physicalSpan = static_cast<int64_t>(caps.physicalMaximum) - caps.physicalMinimum;
    if (logicalSpan <= 0 || physicalSpan == 0) {
        scaled = logical;  // no physical range: the logical value stands
    } else {
        // Both spans reach 2^32, so their product needs more than 64 bits.
        const __int128 value = caps.physicalMinimum + static_cast<__int128>(static_cast<int64_t>(logical) -
                                                                            caps.logicalMinimum) *
                                                          physicalSpan / logicalSpan;
        scaled = static_cast<int32_t>(std::clamp<__int128>(value, INT32_MIN, INT32_MAX));
    }
    return true;
}

}  // namespace m470
