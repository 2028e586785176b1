#include <gtest/gtest.h>

#include <random>

#include "device_link/HidDescriptor.h"
#include "device_link/HidDevice.h"
#include "sim/ProductDescriptors.h"

namespace m470 {
namespace {

HidDescriptorInfo Parse(const std::vector<uint8_t>& bytes) {
    HidDescriptorInfo info;
    EXPECT_TRUE(ParseReportDescriptor(bytes.data(), bytes.size(), info));
    return info;
}

TEST(HidDescriptor, InterfaceOneHasFourCollectionsLikeTheProducts) {
    const HidDescriptorInfo info = Parse(InterfaceOneDescriptor());
    ASSERT_EQ(info.collections.size(), 4u);
    const HidCollection& keyboard = info.collections[0];
    EXPECT_EQ(keyboard.usagePage, 0x01);
    EXPECT_EQ(keyboard.usage, 0x06);
    EXPECT_EQ(keyboard.inputReportByteLength, 9);
    const HidCollection& mouse = info.collections[1];
    EXPECT_EQ(mouse.usage, 0x02);
    EXPECT_EQ(mouse.inputReportByteLength, 7);
    EXPECT_EQ(mouse.ValueCaps(HidReportType::Input).size(), 3u);
    const HidCollection& consumer = info.collections[2];
    EXPECT_EQ(consumer.usagePage, 0x0C);
    EXPECT_EQ(consumer.usage, 0x01);
    EXPECT_EQ(consumer.inputReportByteLength, 3);
    EXPECT_EQ(consumer.inputReportIds, (std::vector<uint8_t>{3}));
    const HidCollection& vendor = info.collections[3];
    EXPECT_EQ(vendor.usagePage, 0xFF1C);
    EXPECT_EQ(vendor.usage, 0x92);
    EXPECT_EQ(vendor.inputReportByteLength, 64);
    EXPECT_EQ(vendor.outputReportByteLength, 64);
    EXPECT_EQ(vendor.featureReportByteLength, 0);
    EXPECT_EQ(vendor.inputReportIds, (std::vector<uint8_t>{4}));
    EXPECT_TRUE(vendor.numbered);
}

TEST(HidDescriptor, HeadsetIsOneConsumerCollection) {
    const HidDescriptorInfo info = Parse(HeadsetDescriptor());
    ASSERT_EQ(info.collections.size(), 1u);
    EXPECT_EQ(info.collections[0].usagePage, 0x0C);
    EXPECT_EQ(info.collections[0].usage, 0x01);
    EXPECT_EQ(info.collections[0].outputReportByteLength, 64);  // the longest output report
    EXPECT_EQ(info.collections[0].inputReportIds, (std::vector<uint8_t>{3, 4}));
}

TEST(HidDescriptor, MalformedDescriptorsFailWithoutReadingPastTheEnd) {
    const std::vector<uint8_t> good = InterfaceOneDescriptor();
    HidDescriptorInfo info;
    for (size_t cut = 1; cut < good.size(); ++cut) {
        std::vector<uint8_t> truncated(good.begin(), good.begin() + static_cast<long>(cut));
        // A heap copy of exactly cut bytes lets the sanitizer build catch any over-read.
        ParseReportDescriptor(truncated.data(), truncated.size(), info);
    }
    const std::vector<uint8_t> unbalanced{0x05, 0x01, 0x09, 0x02, 0xA1, 0x01};
    EXPECT_FALSE(ParseReportDescriptor(unbalanced.data(), unbalanced.size(), info));
    const std::vector<uint8_t> extraEnd{0xC0};
    EXPECT_FALSE(ParseReportDescriptor(extraEnd.data(), extraEnd.size(), info));
    const std::vector<uint8_t> popEmpty{0xB4};
    EXPECT_FALSE(ParseReportDescriptor(popEmpty.data(), popEmpty.size(), info));
    const std::vector<uint8_t> shortItem{0x05};
    EXPECT_FALSE(ParseReportDescriptor(shortItem.data(), shortItem.size(), info));
    const std::vector<uint8_t> longItem{0xFE, 0x10, 0x00, 0x01};
    EXPECT_FALSE(ParseReportDescriptor(longItem.data(), longItem.size(), info));
    std::vector<uint8_t> deep;
    for (int i = 0; i < 40; ++i) deep.insert(deep.end(), {0xA1, 0x01});
    for (int i = 0; i < 40; ++i) deep.push_back(0xC0);
    EXPECT_FALSE(ParseReportDescriptor(deep.data(), deep.size(), info));
    // Huge report: size 32 × count 0xFFFF.
    const std::vector<uint8_t> huge{0x05, 0x01, 0xA1, 0x01, 0x75, 0x20, 0x96, 0xFF, 0xFF, 0x81, 0x02, 0xC0};
    EXPECT_FALSE(ParseReportDescriptor(huge.data(), huge.size(), info));
    EXPECT_TRUE(info.collections.empty());
}

TEST(HidDescriptor, RandomGarbageNeverCrashes) {
    std::mt19937 random(470);
    std::vector<uint8_t> reportBuffer(64);
    for (int round = 0; round < 3000; ++round) {
        std::vector<uint8_t> garbage(random() % 200);
        for (uint8_t& byte : garbage) byte = static_cast<uint8_t>(random());
        HidDescriptorInfo info;
        if (!ParseReportDescriptor(garbage.data(), garbage.size(), info)) continue;
        for (const HidCollection& collection : info.collections) {
            for (uint8_t& byte : reportBuffer) byte = static_cast<uint8_t>(random());
            std::vector<HidDataItem> items = BuildInputItems(collection);
            CHidDevice::UnpackReport(reportBuffer.data(), 1 + random() % 63, HidReportType::Input, items, collection);
        }
    }
}

// One collection with, per report ID, a field of count elements of size bits
// and one listed usage: every element becomes its own button capability.
std::vector<uint8_t> VariableFields(const std::vector<uint8_t>& reportIds, uint16_t count, uint8_t size = 1) {
    std::vector<uint8_t> bytes{0x05, 0x01, 0x09, 0x02, 0xA1, 0x01};
    for (uint8_t id : reportIds) {
        if (id != 0) bytes.insert(bytes.end(), {0x85, id});
        bytes.insert(bytes.end(), {0x75, size, 0x96, static_cast<uint8_t>(count), static_cast<uint8_t>(count >> 8),
                                   0x09, 0x01, 0x81, 0x02});
    }
    bytes.push_back(0xC0);
    return bytes;
}

TEST(HidDescriptor, HostileDescriptorsAreRefusedBeforeTheyCostMemory) {
    HidDescriptorInfo info;
    // 16 bytes: 32,768 one-bit elements, each reserving room for the whole page (once 2 GB).
    const std::vector<uint8_t> bitmap = VariableFields({0}, 0x8000);
    EXPECT_EQ(bitmap.size(), 16u);
    EXPECT_FALSE(ParseReportDescriptor(bitmap.data(), bitmap.size(), info));
    // Two report IDs double the page (once std::bad_alloc in the scan thread).
    const std::vector<uint8_t> twoIds = VariableFields({1, 2}, 0x8000);
    EXPECT_FALSE(ParseReportDescriptor(twoIds.data(), twoIds.size(), info));
    // Zero-size elements take no report bits, so the length limit never saw them.
    const std::vector<uint8_t> zeroSize = VariableFields({1}, 0x7FFF, 0);
    EXPECT_FALSE(ParseReportDescriptor(zeroSize.data(), zeroSize.size(), info));
    std::vector<uint8_t> zeroConstant{0x05, 0x01, 0x09, 0x02, 0xA1, 0x01, 0x75, 0x00, 0x95, 0x10, 0x81, 0x01, 0xC0};
    EXPECT_FALSE(ParseReportDescriptor(zeroConstant.data(), zeroConstant.size(), info));
    EXPECT_TRUE(info.collections.empty());
    // A zero count with zero size is nothing at all and stays accepted.
    zeroConstant[9] = 0x00;
    EXPECT_TRUE(ParseReportDescriptor(zeroConstant.data(), zeroConstant.size(), info));
}

TEST(HidDescriptor, CollectionHoldsAtMost4096EntriesAndPaddingIsFree) {
    HidDescriptorInfo info;
    const std::vector<uint8_t> atLimit = VariableFields({1, 2}, 2048);
    ASSERT_TRUE(ParseReportDescriptor(atLimit.data(), atLimit.size(), info));
    const HidCollection& collection = info.collections.at(0);
    EXPECT_EQ(collection.ButtonCaps(HidReportType::Input).size(), 4096u);
    const std::vector<HidDataItem> items = BuildInputItems(collection);
    ASSERT_EQ(items.size(), 4096u);
    EXPECT_EQ(items.front().usageCapacity, 4096u);  // the page's count, reckoned across both reports
    EXPECT_EQ(items.back().usages.size(), 4096u);
    const std::vector<uint8_t> overLimit = VariableFields({1, 2}, 2049);
    EXPECT_FALSE(ParseReportDescriptor(overLimit.data(), overLimit.size(), info));
    // Constant padding has no entries: 4,096 data elements plus 8,000 padding bits parse.
    std::vector<uint8_t> padded = VariableFields({1}, 4096);
    padded.insert(padded.end() - 1, {0x75, 0x01, 0x96, 0x40, 0x1F, 0x81, 0x01});
    ASSERT_TRUE(ParseReportDescriptor(padded.data(), padded.size(), info));
    EXPECT_EQ(info.collections.at(0).inputReportByteLength, 1 + (4096 + 8000) / 8);
}

class Unpacking : public ::testing::Test {
protected:
    static std::vector<HidDataItem> ItemsOf(const HidCollection& collection) {
        std::vector<HidDataItem> items = BuildInputItems(collection);
        for (HidDataItem& item : items) std::fill(item.usages.begin(), item.usages.end(), 0xEEEE);
        return items;
    }
    HidDescriptorInfo info = Parse(InterfaceOneDescriptor());
};

TEST_F(Unpacking, ConsumerReportGivesTheNotificationCodeAsFirstUsage) {
    const HidCollection& consumer = info.collections[2];
    auto items = ItemsOf(consumer);
    ASSERT_EQ(items.size(), 1u);
    const uint8_t report[] = {0x03, 0x23, 0x11};
    ASSERT_TRUE(CHidDevice::UnpackReport(report, sizeof report, HidReportType::Input, items, consumer));
    EXPECT_TRUE(items[0].isSet);
    ASSERT_EQ(items[0].usages.size(), 1u);
    EXPECT_EQ(items[0].usages[0], 0x1123);
}

TEST_F(Unpacking, OtherReportIdLeavesItemsUntouched) {
    const HidCollection& consumer = info.collections[2];
    auto items = ItemsOf(consumer);
    const auto before = items[0].usages;
    const uint8_t report[] = {0x04, 0x01, 0x04};
    EXPECT_TRUE(CHidDevice::UnpackReport(report, sizeof report, HidReportType::Input, items, consumer));
    EXPECT_FALSE(items[0].isSet);
    EXPECT_EQ(items[0].usages, before);
}

TEST_F(Unpacking, MouseButtonsAndSignedValues) {
    const HidCollection& mouse = info.collections[1];
    auto items = ItemsOf(mouse);
    // Buttons 1 and 3, x = -2, y = 300, wheel = -1.
    const uint8_t report[] = {0x02, 0x05, 0xFE, 0xFF, 0x2C, 0x01, 0xFF};
    ASSERT_TRUE(CHidDevice::UnpackReport(report, sizeof report, HidReportType::Input, items, mouse));
    ASSERT_TRUE(items[0].isButton);
    EXPECT_EQ(items[0].usages[0], 1);
    EXPECT_EQ(items[0].usages[1], 3);
    EXPECT_EQ(items[0].usages[2], 0);  // terminator
    EXPECT_EQ(items[1].scaledValue, -2);
    EXPECT_EQ(items[1].rawValue, 0xFFFEu);
    EXPECT_EQ(items[2].scaledValue, 300);
    EXPECT_EQ(items[3].scaledValue, -1);
    const uint8_t tooShort[] = {0x02, 0x05};
    EXPECT_FALSE(CHidDevice::UnpackReport(tooShort, sizeof tooShort, HidReportType::Input, items, mouse));
}

TEST_F(Unpacking, ButtonItemKeepsOnlyUsagesInsideItsRange) {
    // Two button fields on page 9: buttons 1-4 and buttons 5-8, one report.
    const std::vector<uint8_t> bytes{0x05, 0x09, 0x09, 0x01, 0xA1, 0x01, 0x85, 0x07, 0x19, 0x01, 0x29, 0x04,
                                     0x15, 0x00, 0x25, 0x01, 0x75, 0x01, 0x95, 0x04, 0x81, 0x02, 0x19, 0x05,
                                     0x29, 0x08, 0x81, 0x02, 0xC0};
    const HidDescriptorInfo two = Parse(bytes);
    const HidCollection& collection = two.collections[0];
    auto items = ItemsOf(collection);
    ASSERT_EQ(items.size(), 2u);
    ASSERT_EQ(items[0].usages.size(), 8u);
    const uint8_t report[] = {0x07, 0b0110'0010};  // buttons 2, 6, 7
    ASSERT_TRUE(CHidDevice::UnpackReport(report, sizeof report, HidReportType::Input, items, collection));
    EXPECT_EQ(items[0].usages[0], 2);
    EXPECT_EQ(items[0].usages[1], 0);
    EXPECT_EQ(items[1].usages[0], 6);
    EXPECT_EQ(items[1].usages[1], 7);
    EXPECT_EQ(items[1].usages[2], 0);
}

TEST(HidDescriptor, ExtremeLogicalAndPhysicalRangesUnpackWithoutOverflow) {
    // An array of 8-bit indices whose logical range spans all of int32, and a
    // value whose logical and physical spans both reach 2^32.
    const std::vector<uint8_t> bytes{
        0x05, 0x09, 0x09, 0x01, 0xA1, 0x01, 0x85, 0x01,                                        //
        0x17, 0x00, 0x00, 0x00, 0x80, 0x27, 0xFF, 0xFF, 0xFF, 0x7F, 0x19, 0x01, 0x29, 0x08,    //
        0x75, 0x08, 0x95, 0x01, 0x81, 0x00,                                                    // array
        0x05, 0x01, 0x09, 0x30, 0x47, 0xFF, 0xFF, 0xFF, 0x7F, 0x37, 0x00, 0x00, 0x00, 0x80,    //
        0x75, 0x20, 0x81, 0x02, 0xC0};
    const HidDescriptorInfo info = Parse(bytes);
    ASSERT_EQ(info.collections.size(), 1u);
    const HidCollection& collection = info.collections[0];
    std::vector<HidDataItem> items = BuildInputItems(collection);
    ASSERT_EQ(items.size(), 2u);
    // Index 5 lies far outside usages 1-8 once the minimum is subtracted: no usage.
    const uint8_t report[] = {0x01, 0x05, 0xFF, 0xFF, 0xFF, 0x7F};
    ASSERT_TRUE(CHidDevice::UnpackReport(report, sizeof report, HidReportType::Input, items, collection));
    EXPECT_EQ(items[0].usages.at(0), 0);
    // The logical maximum maps onto the physical maximum.
    EXPECT_EQ(items[1].scaledValue, INT32_MAX);
    // Index 2 lies 2^31 + 2 past the logical minimum, far past usage 8: still none.
    // Logical 0 sits mid-range, so mid-range physically.
    const uint8_t past[] = {0x01, 0x02, 0x00, 0x00, 0x00, 0x00};
    ASSERT_TRUE(CHidDevice::UnpackReport(past, sizeof past, HidReportType::Input, items, collection));
    EXPECT_EQ(items[0].usages.at(0), 0);
    EXPECT_EQ(items[1].scaledValue, 0);
}

}  // namespace
}  // namespace m470
