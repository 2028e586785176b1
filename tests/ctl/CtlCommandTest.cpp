// The command line's words and the request line between m470ctl and the
// window: what is a command, what is refused and how, and that every word
// arrives at the window as it was typed.
#include <gtest/gtest.h>

#include "ctl/CtlCommand.h"
#include "ctl/CtlProtocol.h"
#include "ctl/CtlSettings.h"

namespace m470::ctl {
namespace {

TEST(CtlCommand, CommandsAreSortedIntoProductSettingIndexAndValue) {
    const auto set = ParseCommand({"--json", "mouse2", "set", "dpi", "2", "1600"}).command;
    ASSERT_TRUE(set);
    EXPECT_EQ(set->verb, Verb::Set);
    EXPECT_TRUE(set->json);
    EXPECT_EQ(set->kind, DeviceKind::Mouse);
    EXPECT_EQ(set->ordinal, 1u);
    EXPECT_EQ(set->setting, "dpi");
    EXPECT_EQ(set->index, "2");
    EXPECT_EQ(set->value, "1600");

    const auto colour = ParseCommand({"pad", "set", "colour", "ff8000"}).command;
    ASSERT_TRUE(colour);
    EXPECT_EQ(colour->kind, DeviceKind::MousePad);
    EXPECT_TRUE(colour->index.empty());
    EXPECT_EQ(colour->value, "ff8000");

    const auto key = ParseCommand({"keyboard", "get", "key", "Page Up"}).command;
    ASSERT_TRUE(key);
    EXPECT_EQ(key->index, "Page Up");

    const auto all = ParseCommand({"headset", "get"}).command;
    ASSERT_TRUE(all);
    EXPECT_TRUE(all->setting.empty());

    const auto use = ParseCommand({"--virtual=mouse", "mouse", "profile", "use", "Gaming"}).command;
    ASSERT_TRUE(use);
    EXPECT_EQ(use->verb, Verb::Profile);
    EXPECT_EQ(use->action, "use");
    EXPECT_EQ(use->argument, "Gaming");
    EXPECT_EQ(use->virtualSelection, "mouse");
}

TEST(CtlCommand, BadUsageIsToldWithWhatWouldBeRight) {
    struct Case {
        std::vector<std::string> words;
        const char* saying;
    };
    const std::vector<Case> cases{
        {{}, "nothing to do"},
        {{"trackball", "get"}, "no product \"trackball\""},
        {{"mouse0", "get"}, "no product"},
        {{"mouse"}, "get, set or profile"},
        {{"mouse", "jump"}, "no action \"jump\""},
        {{"mouse", "set", "repeat-rate", "20"}, "has no setting \"repeat-rate\""},  // a keyboard's
        {{"headset", "set", "dpi", "1", "800"}, "has no setting \"dpi\""},
        {{"mouse", "set", "dpi", "1600"}, "usage: m470ctl mouse set dpi STAGE(1-6) DPI"},
        {{"mouse", "set", "stage", "2", "3"}, "usage: m470ctl mouse set stage 1-6"},
        {{"mouse", "get", "dpi"}, "usage: m470ctl mouse get dpi STAGE"},
        {{"mouse", "profile"}, "profile what?"},
        {{"mouse", "profile", "export"}, "usage: m470ctl mouse profile export FILE"},
        {{"mouse", "profile", "import", ""}, "FILE is empty"},
        {{"mouse", "profile", "rename", "two\nlines"}, "NAME holds a line break"},
        {{"mouse", "profile", "use", "tab\there"}, "holds a line break or another control character"},
        {{"mouse", "profile", "list", "x"}, "usage: m470ctl mouse profile list"},
        {{"--colour", "list"}, "unknown option --colour"},
        {{"list", "all"}, "list takes nothing more"},
        {{"help", "keyboard", "mode", "x"}, "help takes a topic and a setting at most"},
    };
    for (const Case& c : cases) {
        const ParsedCommand parsed = ParseCommand(c.words);
        EXPECT_FALSE(parsed.command) << c.saying;
        EXPECT_NE(parsed.error.find(c.saying), std::string::npos) << parsed.error;
    }
    // Help and version need nothing else and win over the rest.
    EXPECT_EQ(ParseCommand({"mouse", "--help"}).command->verb, Verb::Help);
    EXPECT_EQ(ParseCommand({"--version", "bogus"}).command->verb, Verb::Version);
}

TEST(CtlCommand, RequestWordsCarryAbsoluteFilesAndNoDirectRunOptions) {
    const auto exported = ParseCommand({"--virtual", "keyboard", "profile", "export", "../saved/My Profile.json"}).command;
    ASSERT_TRUE(exported);
    EXPECT_EQ(RequestWords(*exported, "/home/user/work"),
              (std::vector<std::string>{"keyboard", "profile", "export", "/home/user/saved/My Profile.json"}));
    // A name is no file: it goes as typed.
    const auto renamed = ParseCommand({"mouse", "profile", "rename", "../x"}).command;
    EXPECT_EQ(RequestWords(*renamed, "/tmp"), (std::vector<std::string>{"mouse", "profile", "rename", "../x"}));
    const auto set = ParseCommand({"--json", "mouse", "set", "key", "4", "Page Up"}).command;
    const std::vector<std::string> words = RequestWords(*set, "/tmp");
    EXPECT_EQ(words, (std::vector<std::string>{"--json", "mouse", "set", "key", "4", "Page Up"}));
    // What the window parses is the command the shell typed.
    const auto again = ParseCommand(words).command;
    ASSERT_TRUE(again);
    EXPECT_EQ(again->index, "4");
    EXPECT_EQ(again->value, "Page Up");
    EXPECT_TRUE(again->json);
}

TEST(CtlProtocol, RequestsAndRepliesArriveAsTheyWereSent) {
    const std::vector<std::string> words{"mouse", "profile", "import", "/tmp/a \"quoted\" name\n.json", "游戏"};
    const std::string line = FormatRequest(words);
    EXPECT_EQ(line.find('\n'), line.size() - 1);  // one line, whatever the words hold
    EXPECT_EQ(line.rfind("m470ctl [", 0), 0u);
    EXPECT_EQ(ParseRequest(line), words);

    const Reply reply{1, "line one\nline two\n", "m470ctl: Writing to the device failed.\n"};
    const std::string answer = FormatReply(reply);
    EXPECT_EQ(answer.find('\n'), answer.size() - 1);
    EXPECT_EQ(ParseReply(answer.substr(0, answer.size() - 1)), reply);
}

TEST(CtlProtocol, OtherLinesAreNoRequests) {
    for (const std::string line : {"M470 0 1", "m470ctl", "m470ctl {}", "m470ctl [1,2]", "m470ctl [\"a\"", "m470ctlx [\"a\"]",
                                   "Game_Start 1 2", "m470ctl [\"a\",null]"})
        EXPECT_FALSE(ParseRequest(line)) << line;
    std::string many = "m470ctl [";
    for (int i = 0; i < 100; ++i) many += std::string(i ? "," : "") + "\"w\"";
    EXPECT_FALSE(ParseRequest(many + "]"));  // more words than any command has
    EXPECT_TRUE(ParseRequest("m470ctl []"));
    for (const std::string line : {"", "{}", "{\"exit\":\"0\",\"out\":\"\",\"err\":\"\"}", "{\"exit\":0,\"out\":1,\"err\":\"\"}"})
        EXPECT_FALSE(ParseReply(line)) << line;
}

TEST(CtlSettings, EverySettingBelongsToTheProductsThatShowIt) {
    EXPECT_NE(FindSetting("dpi", DeviceKind::Mouse), nullptr);
    EXPECT_NE(FindSetting("dpi", DeviceKind::MouseReceiver), nullptr);
    EXPECT_EQ(FindSetting("dpi", DeviceKind::Keyboard), nullptr);
    EXPECT_NE(FindSetting("report-rate", DeviceKind::KeyboardReceiver), nullptr);
    EXPECT_EQ(FindSetting("report-rate", DeviceKind::MousePad), nullptr);
    EXPECT_NE(FindSetting("mode", DeviceKind::Headset), nullptr);
    EXPECT_EQ(FindSetting("key", DeviceKind::Headset), nullptr);
    for (DeviceKind kind : {DeviceKind::Mouse, DeviceKind::Keyboard, DeviceKind::MousePad, DeviceKind::Headset}) {
        const auto rows = SettingsOf(kind);
        EXPECT_FALSE(rows.empty());
        // Each setting is in the usage text, so --help tells all there is.
        for (const SettingRow* row : rows) EXPECT_NE(UsageText().find("  " + std::string(row->name) + " "), std::string::npos);
    }
    EXPECT_EQ(ProductWord(DeviceKind::MouseReceiver, 1), "mouse2");
    EXPECT_EQ(ProductWord(DeviceKind::MousePad, 0), "mousepad");
}

}  // namespace
}  // namespace m470::ctl
