#pragma once
// Our own HID report-descriptor parser: top-level collections with their
// usages, report IDs, report byte lengths and button/value capabilities, and
// input-report unpacking. Plain logic; a malformed descriptor fails cleanly.
#include <cstddef>
#include <cstdint>
#include <map>
#include <vector>

namespace m470 {

enum class HidReportType : uint8_t { Input = 0, Output = 1, Feature = 2 };

// One main item (Input/Output/Feature) of a report.
struct HidField {
    HidReportType type = HidReportType::Input;
    uint8_t reportId = 0;
    uint32_t bitOffset = 0;  // from the first data bit (after the report ID byte)
    uint32_t reportSize = 0;
    uint32_t reportCount = 0;
    uint16_t usagePage = 0;
    bool isArray = false;
    bool isConstant = false;
    bool usageIsRange = false;
    uint16_t usageMinimum = 0, usageMaximum = 0;
    std::vector<uint16_t> usages;  // listed usages (when not a range)
    int32_t logicalMinimum = 0, logicalMaximum = 0;
    int32_t physicalMinimum = 0, physicalMaximum = 0;

    // Buttons are array fields and 1-bit variable fields; the rest are values.
    bool IsButton() const { return isArray || reportSize == 1; }
    // Usage of element i of a variable field (the last usage repeats).
    uint16_t UsageOfElement(uint32_t index) const;
};

struct HidButtonCaps {
    uint16_t usagePage;
    uint8_t reportId;
    uint16_t usageMinimum, usageMaximum;
};

struct HidValueCaps {
    uint16_t usagePage;
    uint8_t reportId;
    uint16_t usage;
    uint32_t bitOffset, bitSize;
    int32_t logicalMinimum, logicalMaximum, physicalMinimum, physicalMaximum;
};

struct HidCollection {
    uint16_t usagePage = 0, usage = 0;
    std::vector<uint8_t> reportIds;       // of any report type, in order of appearance
    std::vector<uint8_t> inputReportIds;  // 0 stands for unnumbered reports
    bool numbered = false;
    // Byte lengths including the report ID byte (as the Windows HID parser
    // gives them; 0 when the collection has no report of that type).
    uint16_t inputReportByteLength = 0, outputReportByteLength = 0, featureReportByteLength = 0;
    std::vector<HidField> fields;

    std::vector<HidButtonCaps> ButtonCaps(HidReportType type) const;
    std::vector<HidValueCaps> ValueCaps(HidReportType type) const;
    // The most usages one report type can report set on one usage page.
    uint32_t MaxUsageListLength(HidReportType type, uint16_t usagePage) const;
    // The same for every page at once, in one pass over the fields.
    std::map<uint16_t, uint32_t> UsageListLengths(HidReportType type) const;
    bool HasInputReportId(uint8_t reportId) const;
    uint16_t ReportByteLength(HidReportType type) const;
};

struct HidDescriptorInfo {
    std::vector<HidCollection> collections;  // top-level collections in order
};

// False for a malformed descriptor (truncated item, unbalanced collections,
// stack or size limits exceeded); info is then left empty.
bool ParseReportDescriptor(const uint8_t* data, size_t length, HidDescriptorInfo& info);

// Usages set on one page in an input report, in field order (HidP_GetUsages).
bool GetReportUsages(const HidCollection& collection, HidReportType type, uint16_t usagePage, const uint8_t* report,
                     size_t length, std::vector<uint16_t>& usages);
// Raw and scaled value of one value capability; false when the report is too
// short for it or has another report ID.
bool GetReportValue(const HidValueCaps& caps, const uint8_t* report, size_t length, uint32_t& raw, int32_t& scaled);

}  // namespace m470
