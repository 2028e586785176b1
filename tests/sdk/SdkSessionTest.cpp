// The SDK packets byte for byte: what a client sends, what we answer, and
// what reaches the products, through one session and a recording host.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "sdk/SdkSession.h"

using namespace m470::sdk;

namespace {

std::string Hex(const std::vector<uint8_t>& bytes) {
    std::string text;
    char two[3];
    for (uint8_t byte : bytes) {
        std::snprintf(two, sizeof two, "%02x", byte);
        text += two;
    }
    return text;
}

std::string Spaceless(std::string hex) {
    std::erase(hex, ' ');
    return hex;
}

std::vector<uint8_t> Bytes(const std::string& spaced) {
    const std::string hex = Spaceless(spaced);
    std::vector<uint8_t> out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) out.push_back(static_cast<uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return out;
}

// A mouse with one mode of its own and Direct, one zone of two LEDs.
ControllerDescription SmallMouse() {
    ControllerDescription c;
    c.type = ControllerType::Mouse;
    c.name = "M";
    c.vendor = "V";
    c.description = "D";
    c.version = "1";
    c.location = "L";
    ModeDescription own;
    own.name = "S";
    own.value = 2;
    own.flags = mode_flag::kSpeed | mode_flag::kBrightness;
    own.speedMax = own.brightnessMax = 4;
    own.coloursMin = own.coloursMax = 1;
    own.speed = 2;
    own.brightness = 3;
    own.colourMode = ColourMode::ModeSpecific;
    own.colours = {{1, 2, 3}};
    ModeDescription direct;
    direct.name = "Direct";
    direct.value = 9;
    direct.flags = mode_flag::kPerLedColour;
    direct.colourMode = ColourMode::PerLed;
    c.modes = {own, direct};
    c.zones = {{"Z", ZoneType::Linear, 2}};
    c.ledNames = {"A", "B"};
    c.colours = {{0xFF, 0, 0}, {0, 0xFF, 0}};
    return c;
}

struct Call {
    std::string what;
    size_t controller = 0, first = 0;
    std::vector<Colour> colours;
    ModeDescription mode;
    bool save = false;
};

class RecordingHost : public SdkHost {
public:
    size_t ControllerCount() override { return controllers.size(); }
    std::optional<ControllerDescription> Describe(size_t c) override {
        return c < controllers.size() ? std::optional(controllers[c]) : std::nullopt;
    }
    void ShowColours(int, size_t c, size_t first, const std::vector<Colour>& colours) override {
        calls.push_back({"colours", c, first, colours});
    }
    void StartDirect(int, size_t c) override { calls.push_back({"direct", c}); }
    void ReleaseDirect(int owner) override { calls.push_back({"release " + std::to_string(owner)}); }
    void ApplyMode(int, size_t c, size_t mode, const ModeDescription& settings, bool save) override {
        calls.push_back({"mode " + std::to_string(mode), c, 0, {}, settings, save});
    }
    std::vector<std::string> ProfileNames() override { return {"Work", "Play"}; }
    void LoadProfile(const std::string& name) override { calls.push_back({"load " + name}); }

    std::vector<ControllerDescription> controllers{SmallMouse(), SmallMouse()};
    std::vector<Call> calls;
};

class SdkSessionTest : public ::testing::Test {
protected:
    // One packet from the client; what the session answered, in hex.
    std::string Ask(uint32_t device, uint32_t id, const std::string& dataHex, bool keepsOpen = true) {
        const std::vector<uint8_t> packet = EncodePacket(device, id, Bytes(dataHex));
        EXPECT_EQ(session.Receive(packet.data(), packet.size()), keepsOpen) << id;
        return Hex(session.TakeOutput());
    }
    RecordingHost host;
    SdkSession session{host, 7};
};

// The header of every packet: "ORGB", device index, packet id, size.
TEST_F(SdkSessionTest, VersionCountAndNameAnswerAsTheProtocolSays) {
    EXPECT_EQ(Ask(0, 40, "05000000"), Spaceless("4f524742 00000000 28000000 04000000 04000000"));
    EXPECT_EQ(session.Version(), 4u);  // the lower of the two
    EXPECT_EQ(Ask(0, 0, ""), Spaceless("4f524742 00000000 00000000 04000000 02000000"));
    EXPECT_EQ(Ask(0, 50, "6e6f646500"), "");  // the client's name: no answer
    EXPECT_EQ(session.ClientName(), "node");
    EXPECT_EQ(Ask(0, 40, "02000000"), Spaceless("4f524742 00000000 28000000 04000000 04000000"));
    EXPECT_EQ(session.Version(), 2u);
}

TEST_F(SdkSessionTest, ControllerDataAtVersionFourAndZero) {
    const std::string mode4 = "0200 5300 02000000 11000000 00000000 04000000 00000000 04000000 01000000 01000000"
                              " 02000000 03000000 00000000 02000000 0100 01020300";
    const std::string direct4 = "0700 44697265637400 09000000 20000000 00000000 00000000 00000000 00000000 00000000 00000000"
                                " 00000000 00000000 00000000 01000000 0000";
    const std::string tail = "0100 0200 5a00 01000000 02000000 02000000 02000000 0000";
    const std::string leds = "0200 0200 4100 00000000 0200 4200 01000000 0200 ff000000 00ff0000";
    const std::string body4 = "06000000 0200 4d00 0200 5600 0200 4400 0200 3100 0100 00 0200 4c00 0200 00000000 " + mode4 +
                              " " + direct4 + " " + tail + " 0000 " + leds;
    const size_t size4 = 4 + Bytes(body4).size();
    char header[80];
    std::snprintf(header, sizeof header, "4f524742 01000000 01000000 %02zx%02zx0000 %02zx%02zx0000", size4 & 0xFF, size4 >> 8,
                  size4 & 0xFF, size4 >> 8);
    EXPECT_EQ(Ask(1, 1, "04000000"), Spaceless(std::string(header) + body4));

    // Version 0: no vendor, no brightness, no segments.
    const std::string mode0 = "0200 5300 02000000 11000000 00000000 04000000 01000000 01000000 02000000 00000000 02000000 0100 01020300";
    const std::string direct0 = "0700 44697265637400 09000000 20000000 00000000 00000000 00000000 00000000 00000000"
                                " 00000000 01000000 0000";
    const std::string body0 = "06000000 0200 4d00 0200 4400 0200 3100 0100 00 0200 4c00 0200 00000000 " + mode0 + " " + direct0 +
                              " " + tail + " " + leds;
    const size_t size0 = 4 + Bytes(body0).size();
    std::snprintf(header, sizeof header, "4f524742 00000000 01000000 %02zx000000 %02zx000000", size0, size0);
    EXPECT_EQ(Ask(0, 1, ""), Spaceless(std::string(header) + body0));
}

TEST_F(SdkSessionTest, ProfileListAndLoadAndDeviceListUpdated) {
    // data size, count, then each name with its length and terminator
    EXPECT_EQ(Ask(0, 150, ""), Spaceless("4f524742 00000000 96000000 14000000 14000000 0200 0500 576f726b00 0500 506c617900"));
    EXPECT_EQ(Ask(0, 152, "506c617900"), "");
    ASSERT_EQ(host.calls.size(), 1u);
    EXPECT_EQ(host.calls[0].what, "load Play");
    session.DeviceListChanged();
    EXPECT_EQ(Hex(session.TakeOutput()), Spaceless("4f524742 00000000 64000000 00000000"));
}

TEST_F(SdkSessionTest, ColoursReachTheLedsTheyName) {
    // UpdateLEDs: every LED; UpdateZoneLEDs: zone 0; UpdateSingleLED: LED 1.
    EXPECT_EQ(Ask(1, 1050, "0e000000 0200 0a141e00 28323c00"), "");
    EXPECT_EQ(Ask(0, 1051, "12000000 00000000 0200 01020300 04050600"), "");
    EXPECT_EQ(Ask(0, 1052, "01000000 07080900"), "");
    ASSERT_EQ(host.calls.size(), 3u);
    EXPECT_EQ(host.calls[0].controller, 1u);
    EXPECT_EQ(host.calls[0].colours, (std::vector<Colour>{{10, 20, 30}, {40, 50, 60}}));
    EXPECT_EQ(host.calls[1].colours, (std::vector<Colour>{{1, 2, 3}, {4, 5, 6}}));
    EXPECT_EQ(host.calls[2].first, 1u);
    EXPECT_EQ(host.calls[2].colours, (std::vector<Colour>{{7, 8, 9}}));
    EXPECT_TRUE(session.Driving());
    EXPECT_TRUE(session.TakeDirectActivity());
    EXPECT_FALSE(session.TakeDirectActivity());
    session.EndDirect();
    EXPECT_EQ(host.calls.back().what, "release 7");
}

TEST_F(SdkSessionTest, ModesUpdateSaveAndDirect) {
    Ask(0, 40, "04000000");
    // UpdateMode of mode 0 with speed 1, brightness 4, colour 0a0b0c.
    const std::string mode = "00000000 0200 5300 02000000 11000000 00000000 04000000 00000000 04000000 01000000 01000000"
                             " 01000000 04000000 00000000 02000000 0100 0a0b0c00";
    const size_t size = 4 + Bytes(mode).size();
    char prefix[16];
    std::snprintf(prefix, sizeof prefix, "%02zx000000 ", size);
    EXPECT_EQ(Ask(1, 1101, prefix + mode), "");
    EXPECT_EQ(Ask(1, 1102, prefix + mode), "");
    ASSERT_EQ(host.calls.size(), 2u);
    EXPECT_EQ(host.calls[0].what, "mode 0");
    EXPECT_EQ(host.calls[0].controller, 1u);
    EXPECT_EQ(host.calls[0].mode.speed, 1u);
    EXPECT_EQ(host.calls[0].mode.brightness, 4u);
    EXPECT_EQ(host.calls[0].mode.colours, (std::vector<Colour>{{10, 11, 12}}));
    EXPECT_FALSE(host.calls[0].save);
    EXPECT_TRUE(host.calls[1].save);
    // Mode 1 is Direct, and so is SetCustomMode.
    std::string direct = mode;
    direct.replace(0, 8, "01000000");
    EXPECT_EQ(Ask(0, 1101, prefix + direct), "");
    EXPECT_EQ(Ask(1, 1100, ""), "");
    EXPECT_EQ(host.calls[2].what, "direct");
    EXPECT_EQ(host.calls[3].what, "direct");
    EXPECT_EQ(host.calls[3].controller, 1u);
}

// Each of these ends the conversation, and asks nothing of the products.
TEST(SdkSessionRefusal, BadSizesIndicesAndVersionsCloseTheConnection) {
    const std::vector<std::pair<uint32_t, std::string>> bad{
        {40, "0500"},                                            // version of 2 bytes
        {1, "05000000"},                                         // controller data at a version above ours
        {1050, "0e000000 0100 0a141e00 28323c00"},               // count not that of the LEDs
        {1050, "0f000000 0200 0a141e00 28323c00"},               // data size not the packet's
        {1051, "12000000 01000000 0200 01020300 04050600"},      // no zone 1
        {1052, "02000000 07080900"},                             // no LED 2
        {1052, "01000000 0708"},                                 // colour cut short
        {1101, "0a000000 00000000 0000"},                        // mode cut short
        {50, "6e6f6465"},                                        // name without its terminator
    };
    for (const auto& [id, hex] : bad) {
        RecordingHost host;
        SdkSession session(host, 1);
        const std::vector<uint8_t> packet = EncodePacket(0, id, Bytes(hex));
        EXPECT_FALSE(session.Receive(packet.data(), packet.size())) << id << " " << hex;
        EXPECT_TRUE(host.calls.empty()) << id;
    }
    RecordingHost host;
    SdkSession session(host, 1);
    const std::vector<uint8_t> elsewhere = EncodePacket(2, 1100, {});  // no controller 2
    EXPECT_FALSE(session.Receive(elsewhere.data(), elsewhere.size()));
    // A packet of a later version we do not serve is passed over.
    const std::vector<uint8_t> later = EncodePacket(0, 250, Bytes("6b657900"));
    EXPECT_TRUE(session.Receive(later.data(), later.size()));
}

// Packets cut anywhere arrive whole; a bad magic or an oversized header ends the stream.
TEST(SdkPacketReader, CutsAStreamReadByReadAndBreaksOnABadHeader) {
    std::vector<uint8_t> stream = EncodePacket(3, 1050, Bytes("0a000000 0100 01020300"));
    const std::vector<uint8_t> second = EncodePacket(0, 0, {});
    stream.insert(stream.end(), second.begin(), second.end());
    EXPECT_EQ(Hex(std::vector<uint8_t>(stream.begin(), stream.begin() + 16)),
              Spaceless("4f524742 03000000 1a040000 0a000000"));
    PacketReader reader;
    std::vector<Packet> packets;
    for (uint8_t byte : stream) ASSERT_TRUE(reader.Feed(&byte, 1, packets));
    ASSERT_EQ(packets.size(), 2u);
    EXPECT_EQ(packets[0], (Packet{3, 1050, Bytes("0a000000 0100 01020300")}));
    EXPECT_EQ(packets[1], (Packet{0, 0, {}}));
    EXPECT_EQ(reader.Pending(), 0u);

    PacketReader wrongMagic;
    std::vector<uint8_t> bad = second;
    bad[0] = 'X';
    EXPECT_FALSE(wrongMagic.Feed(bad.data(), bad.size(), packets));
    EXPECT_TRUE(wrongMagic.Broken());
    PacketReader oversized;
    std::vector<uint8_t> big = EncodePacket(0, 1050, {});
    big[12] = 0x01;
    big[14] = 0x01;  // 65,537 bytes announced
    EXPECT_FALSE(oversized.Feed(big.data(), big.size(), packets));
    EXPECT_FALSE(oversized.Feed(second.data(), second.size(), packets));  // stays broken
    EXPECT_EQ(packets.size(), 2u);
}

}  // namespace
