#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "device_link/HidBackend.h"
#include "device_link/HidrawBackend.h"
#include "device_link/KnownInterface.h"
#include "devices/Products.h"
#include "sim/ProductDescriptors.h"

namespace m470 {
namespace {

TEST(KnownInterfaces, AnchorRows) {
    EXPECT_EQ(kKnownInterfaces[0].productId, 0x50C9);
    EXPECT_EQ(kKnownInterfaces[0].twinRow, 2);
    EXPECT_EQ(kKnownInterfaces[5].kind, DeviceKind::Mouse);
    EXPECT_EQ(kKnownInterfaces[5].role, InterfaceRole::Notification);
    EXPECT_EQ(kKnownInterfaces[6].twinRow, 4);
    EXPECT_EQ(kKnownInterfaces[10].vendorId, 0x0C76);
    EXPECT_EQ(kKnownInterfaces[10].interfaceNumber, 3);
    EXPECT_EQ(kKnownInterfaces[10].collectionNumber, 0);
    for (const KnownInterface& row : kKnownInterfaces)
        if (row.hasTwin) EXPECT_EQ(kKnownInterfaces[kKnownInterfaces[row.twinRow].twinRow].productId, row.productId);
}

TEST(PathParsers, ReadHexAfterCaseInsensitiveMarkers) {
    const std::string windows = R"(\\?\hid#vid_320f&pid_222e&mi_01&col04#7&1a2b&0&0003#{4d1e55b2-f16f-11cf-88cb})";
    EXPECT_EQ(ParseVendorId(windows), 0x320F);
    EXPECT_EQ(ParseProductId(windows), 0x222E);
    EXPECT_EQ(ParseInterfaceNumber(windows), 1);
    EXPECT_EQ(ParseCollectionNumber(windows), 4);
    EXPECT_EQ(ParseVendorId("/dev/hidraw3&VID_320F&PID_50A9&MI_01&COL03"), 0x320F);
    EXPECT_EQ(ParseCollectionNumber("/dev/hidraw3&VID_320F&PID_50A9&MI_01&COL03"), 3);
    EXPECT_EQ(ParseCollectionNumber("/dev/hidraw3&vid_0c76&pid_1630&mi_03"), 0);
    EXPECT_EQ(ParseInterfaceNumber("/dev/hidraw3&vid_0c76&pid_1630"), 0);
    EXPECT_EQ(ParseVendorId("/dev/hidraw3&vid_zz"), 0);
}

TEST(Identification, PathStageAndCapabilityStage) {
    EXPECT_EQ(MatchPath("/dev/hidraw3&vid_320f&pid_222e&mi_01&col04", kKnownInterfaces), 4u);
    EXPECT_EQ(MatchPath("/dev/hidraw3&vid_320f&pid_222f&mi_01&col03", kKnownInterfaces), 7u);
    EXPECT_EQ(MatchPath("/dev/hidraw3&vid_320f&pid_222e&mi_01&col02", kKnownInterfaces), std::nullopt);
    // No "&col": collection 0 matches only the headset row.
    EXPECT_EQ(MatchPath("/dev/hidraw9&vid_0c76&pid_1630&mi_03", kKnownInterfaces), 10u);
    EXPECT_EQ(MatchPath("/dev/hidraw9&vid_320f&pid_222e&mi_01", kKnownInterfaces), std::nullopt);

    EXPECT_EQ(MatchCapabilities({0x320F, 0x1004, 1, 4, 0xFF1C, 0x0092}, kKnownInterfaces), 8u);
    EXPECT_EQ(MatchCapabilities({0x320F, 0x1004, 1, 4, 0x000C, 0x0001}, kKnownInterfaces), std::nullopt);
    EXPECT_EQ(MatchCapabilities({0x0C76, 0x1630, 3, 0, 0x000C, 0x0001}, kKnownInterfaces), 10u);
}

TEST(InterfacePaths, OnePathPerTopLevelCollection) {
    HidNodeDescription mouse{"/dev/hidraw3", 0x320F, 0x222E, 1, 4};
    EXPECT_EQ(MakeInterfacePaths(mouse),
              (std::vector<std::string>{"/dev/hidraw3&vid_320f&pid_222e&mi_01&col01",
                                        "/dev/hidraw3&vid_320f&pid_222e&mi_01&col02",
                                        "/dev/hidraw3&vid_320f&pid_222e&mi_01&col03",
                                        "/dev/hidraw3&vid_320f&pid_222e&mi_01&col04"}));
    HidNodeDescription headset{"/dev/hidraw7", 0x0C76, 0x1630, 3, 1};
    EXPECT_EQ(MakeInterfacePaths(headset), (std::vector<std::string>{"/dev/hidraw7&vid_0c76&pid_1630&mi_03"}));
    HidNodeDescription bluetooth{"/dev/hidraw8", 0x046D, 0xB023, -1, 1};
    EXPECT_EQ(MakeInterfacePaths(bluetooth), (std::vector<std::string>{"/dev/hidraw8&vid_046d&pid_b023"}));
    HidNodeDescription many{"/dev/hidraw1", 1, 2, 0, 18};
    EXPECT_EQ(MakeInterfacePaths(many).back(), "/dev/hidraw1&vid_0001&pid_0002&mi_00&col12");  // hex, as parsed back
    EXPECT_EQ(ParseCollectionNumber(MakeInterfacePaths(many).back()), 18);
    EXPECT_EQ(NodeOfInterfacePath("/dev/hidraw3&vid_320f&pid_222e&mi_01&col04"), "/dev/hidraw3");
}

TEST(InterfacePaths, UdevRecordsMapToPaths) {
    HidrawUdevRecord record{"/dev/hidraw3", "0003:0000320F:0000222E", "01", "0107", InterfaceOneDescriptor()};
    auto description = DescribeHidrawRecord(record);
    ASSERT_TRUE(description.has_value());
    EXPECT_EQ(description->vendorId, 0x320F);
    EXPECT_EQ(description->productId, 0x222E);
    EXPECT_EQ(description->interfaceNumber, 1);
    EXPECT_EQ(description->collectionCount, 4u);
    const auto paths = MakeInterfacePaths(*description);
    ASSERT_EQ(paths.size(), 4u);
    EXPECT_EQ(MatchPath(paths[3], kKnownInterfaces), 4u);
    EXPECT_EQ(MatchPath(paths[2], kKnownInterfaces), 5u);

    HidrawUdevRecord noUsb{"/dev/hidraw4", "0005:0000046D:0000B023", "", "", {}};
    description = DescribeHidrawRecord(noUsb);
    ASSERT_TRUE(description.has_value());
    EXPECT_EQ(description->interfaceNumber, -1);
    EXPECT_EQ(description->collectionCount, 1u);  // unreadable descriptor: one path, no "&col"

    EXPECT_FALSE(DescribeHidrawRecord({"/dev/hidraw5", "garbage", "01", "", {}}).has_value());
    EXPECT_FALSE(DescribeHidrawRecord({"", "0003:0000320F:0000222E", "01", "", {}}).has_value());
}

}  // namespace
}  // namespace m470

namespace m470 {
namespace {

struct GrantedInterface {
    uint16_t vendorId, productId, interfaceNumber;
    friend auto operator<=>(const GrantedInterface&, const GrantedInterface&) = default;
};

// Every line of the generated rule that grants access, as (vendor, product, interface).
std::set<GrantedInterface> GrantsOfUdevRule(std::vector<std::string>& unmatched) {
    std::ifstream rule(M470_UDEV_RULE);
    EXPECT_TRUE(rule.is_open()) << M470_UDEV_RULE;
    const std::regex grant(R"re(^ENV\{ID_VENDOR_ID\}=="([0-9a-f]{4})", ENV\{ID_MODEL_ID\}=="([0-9a-f]{4})", )re"
                           R"re(ENV\{ID_USB_INTERFACE_NUM\}=="([0-9a-f]{2})", TAG\+="uaccess"$)re");
    std::set<GrantedInterface> grants;
    std::string line;
    while (std::getline(rule, line)) {
        std::smatch match;
        if (std::regex_match(line, match, grant))
            grants.insert({static_cast<uint16_t>(std::stoul(match[1], nullptr, 16)),
                           static_cast<uint16_t>(std::stoul(match[2], nullptr, 16)),
                           static_cast<uint16_t>(std::stoul(match[3], nullptr, 16))});
        else if (line.find("uaccess") != std::string::npos || line.find("MODE") != std::string::npos)
            unmatched.push_back(line);
    }
    return grants;
}

TEST(UdevRule, GrantsExactlyTheInterfacesOfTheTable) {
    std::vector<std::string> otherGrants;
    const std::set<GrantedInterface> grants = GrantsOfUdevRule(otherGrants);
    std::set<GrantedInterface> opened;
    for (const KnownInterface& known : kKnownInterfaces)
        opened.insert({known.vendorId, known.productId, known.interfaceNumber});
    EXPECT_EQ(grants, opened);
    EXPECT_TRUE(otherGrants.empty()) << otherGrants.front();  // no grant without an interface number
    // The boot keyboard and mouse interface (0) of the products is never granted.
    EXPECT_EQ(grants.count({0x320F, 0x50C9, 0}), 0u);
    EXPECT_EQ(grants.count({0x320F, 0x50C9, 1}), 1u);
    EXPECT_EQ(grants.count({0x0C76, 0x1630, 3}), 1u);
}

}  // namespace
}  // namespace m470
