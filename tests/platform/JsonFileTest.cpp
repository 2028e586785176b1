#include <gtest/gtest.h>

#include <json/value.h>
#include <csignal>
#include <filesystem>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/DebugTrace.h"
#include "platform/JsonFile.h"
#include "support/TempFolder.h"

namespace m470 {
namespace {

// A comment beside a repeated key, written back and read again, gave another
// document: what is rewritten must hold what was read.
TEST(JsonFile, ADocumentWithCommentsAndARepeatedKeyReadsBackTheSame) {
    bool ok = false;
    const Json::Value document = ParseJson("//\n{\"\":[],\"\":// \n\"\"}", &ok);
    ASSERT_TRUE(ok);
    bool again = false;
    const Json::Value reread = ParseJson(StyledJson(document), &again);
    ASSERT_TRUE(again);
    EXPECT_EQ(reread, document);
    EXPECT_EQ(StyledJson(document).find("//"), std::string::npos);
}

TEST(JsonFile, LoadsLenientlyAndTracesEveryOpen) {
    test::TempFolder folder;
    folder.Write("comments.json", "// factory data\n{ \"a\": 1, /* inline */ \"b\": [true] }\n");
    folder.Write("empty.json", "");
    folder.Write("broken.json", "{ \"a\": ");
    folder.Write("deep.json", std::string(5000, '[') + std::string(5000, ']'));

    DebugTrace::Clear();
    JsonLoadStatus status;
    Json::Value loaded = LoadJson(folder.File("comments.json"), &status);
    EXPECT_EQ(status, JsonLoadStatus::Ok);
    EXPECT_EQ(loaded["a"].asInt(), 1);
    EXPECT_TRUE(DebugTrace::Contains("readjsonFile 错误吗：：0"));

    EXPECT_TRUE(LoadJson(folder.File("missing.json"), &status).isNull());
    EXPECT_EQ(status, JsonLoadStatus::Missing);
    EXPECT_TRUE(DebugTrace::Contains("readjsonFile 错误吗：：2"));  // ENOENT
    EXPECT_TRUE(LoadJson(folder.File("empty.json"), &status).isNull());
    EXPECT_EQ(status, JsonLoadStatus::Empty);
    EXPECT_TRUE(LoadJson(folder.File("broken.json"), &status).isNull());
    EXPECT_EQ(status, JsonLoadStatus::Invalid);
    EXPECT_TRUE(LoadJson(folder.File("deep.json"), &status).isNull());  // nesting limit, no crash
    EXPECT_EQ(status, JsonLoadStatus::Invalid);
}

TEST(JsonFile, RefusesFilesLargerThanTheCap) {
    test::TempFolder folder;
    std::string big = "[" + std::string(kMaxJsonFileBytes, ' ') + "]";
    folder.Write("big.json", big);
    JsonLoadStatus status;
    EXPECT_TRUE(LoadJson(folder.File("big.json"), &status).isNull());
    EXPECT_EQ(status, JsonLoadStatus::TooLarge);
    EXPECT_TRUE(readjsonFile(folder.File("big.json")).empty());
}

// A pipe (an import chosen by name from the command line) would hold the
// reader, and the window's whole UI thread, until something writes to it.
TEST(JsonFile, PipesAndDevicesAreRefusedWithoutWaiting) {
    test::TempFolder folder;
    ASSERT_EQ(::mkfifo(folder.File("pipe.json").c_str(), 0600), 0);
    JsonLoadStatus status = JsonLoadStatus::Ok;
    const pid_t watchdog = ::fork();
    if (watchdog == 0) {
        ::alarm(5);  // a blocked open ends the child, and the test with it
        JsonLoadStatus childStatus = JsonLoadStatus::Ok;
        LoadJson(folder.File("pipe.json"), &childStatus);
        ::_exit(childStatus == JsonLoadStatus::Unreadable ? 0 : 1);
    }
    int wait = 0;
    ASSERT_EQ(::waitpid(watchdog, &wait, 0), watchdog);
    EXPECT_TRUE(WIFEXITED(wait) && WEXITSTATUS(wait) == 0) << "the pipe was waited on or not refused";
    EXPECT_TRUE(LoadJson("/dev/zero", &status).isNull());
    EXPECT_EQ(status, JsonLoadStatus::Unreadable);
}

TEST(JsonFile, SavesStyledWithOneLineEndAndRoundTrips) {
    test::TempFolder folder;
    Json::Value document;
    document["profilename"] = "Ünder 命令";
    document["Device"][0]["LightInfo"]["Red"] = 255;
    ASSERT_TRUE(SaveJson(folder.File("p.Json"), document));
    const std::string text = folder.Read("p.Json");
    EXPECT_EQ(text,
              "{\n"
              "   \"Device\" : [\n"
              "      {\n"
              "         \"LightInfo\" : {\n"
              "            \"Red\" : 255\n"
              "         }\n"
              "      }\n"
              "   ],\n"
              "   \"profilename\" : \"Ünder 命令\"\n"
              "}\n");
    EXPECT_EQ(LoadJson(folder.File("p.Json")), document);

    // Escapes that are not plain non-ASCII characters survive as they were.
    Json::Value tricky;
    tricky["name"] = std::string("back\\u00dc slash, emoji 😀, control \x01, quote \"");
    ASSERT_TRUE(SaveJson(folder.File("t.Json"), tricky));
    EXPECT_NE(folder.Read("t.Json").find("😀"), std::string::npos);
    EXPECT_NE(folder.Read("t.Json").find("\\u0001"), std::string::npos);
    EXPECT_EQ(LoadJson(folder.File("t.Json")), tricky);
}

Json::Value BigDocument(int marker) {
    Json::Value document;
    document["marker"] = marker;
    for (int i = 0; i < 20000; ++i) document["Device"][0]["KeyList"][i]["Assignment"] = i;
    return document;
}

// Runs body in a child process and returns its exit status.
template <typename Body>
int InChild(Body body) {
    pid_t child = ::fork();
    if (child == 0) ::_exit(body());
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(JsonFile, FailedSaveKeepsTheOldFile) {
    test::TempFolder folder;
    const std::string path = folder.File("p.Json");
    ASSERT_TRUE(SaveJson(path, BigDocument(1)));
    // A file-size limit makes the write fail part-way, even for root.
    const int result = InChild([&] {
        ::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{4096, 4096};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        return SaveJson(path, BigDocument(2)) ? 1 : 0;
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(LoadJson(path)["marker"].asInt(), 1);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.Path()), {}), 1);  // no temporary left
    EXPECT_FALSE(SaveJson(folder.File("no/such/folder/p.Json"), BigDocument(3)));
}

TEST(JsonFile, KilledWriterLeavesTheOldOrTheNewFileWhole) {
    test::TempFolder folder;
    const std::string path = folder.File("p.Json");
    ASSERT_TRUE(SaveJson(path, BigDocument(0)));
    for (int round = 0; round < 5; ++round) {
        pid_t child = ::fork();
        if (child == 0) {
            for (int i = 1;; ++i) SaveJson(path, BigDocument(i));
        }
        ::usleep(static_cast<useconds_t>(20000 + round * 7000));
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
        JsonLoadStatus status;
        const Json::Value loaded = LoadJson(path, &status);
        ASSERT_EQ(status, JsonLoadStatus::Ok) << "round " << round;
        EXPECT_EQ(loaded["Device"][0]["KeyList"].size(), 20000u);
    }
}

TEST(JsonFile, ReadsNumbersOfTheWrongTypeAsZero) {
    Json::Value value;
    value["text"] = "12";
    value["array"][0] = 1;
    value["big"] = Json::UInt64(0x1234567890ULL);
    value["negative"] = -1;
    value["double"] = 300.7;
    value["huge"] = 1e300;
    value["flag"] = true;
    EXPECT_EQ(JsonByte(value["text"]), 0);
    EXPECT_EQ(JsonByte(value["array"]), 0);
    EXPECT_EQ(JsonByte(value), 0);
    EXPECT_EQ(JsonByte(value["missing"]), 0);
    EXPECT_EQ(JsonDword(value["big"]), 0x34567890u);
    EXPECT_EQ(JsonByte(value["negative"]), 0xFF);
    EXPECT_EQ(JsonByte(value["double"]), 44);
    EXPECT_EQ(JsonInteger(value["huge"]), 0);
    EXPECT_EQ(JsonByte(value["flag"]), 1);
    EXPECT_TRUE(Member(value["text"], "x").isNull());
    EXPECT_TRUE(Element(value["text"], 3).isNull());
    EXPECT_TRUE(Element(value["array"], 3).isNull());
}

TEST(JsonFile, SmallHelpers) {
    EXPECT_EQ(FormatTimestampId(2021, 8, 1, 9, 5, 7, 42), "2021_08_01_09_05_07_042");
    EXPECT_EQ(MakeTimestampId().size(), std::string("2021_08_01_09_05_07_042").size());

    EXPECT_EQ(FileTitle("/home/u/profiles/abc.def.json"), "abc.def");
    EXPECT_EQ(FileTitle("C:\\x\\name.mac"), "name");
    EXPECT_EQ(FileTitle("plain"), "plain");
    EXPECT_TRUE(IsBlank(" \t\n"));
    EXPECT_TRUE(IsBlank(""));
    EXPECT_FALSE(IsBlank("  a "));

    std::string prefix;
    int number = -1;
    ASSERT_TRUE(SplitIndexedName("DPI_slider_3", prefix, number));
    EXPECT_EQ(prefix, "DPI_slider_");
    EXPECT_EQ(number, 3);
    ASSERT_TRUE(SplitIndexedName("key_butt_keysave", prefix, number));
    EXPECT_EQ(prefix, "key_butt_");
    EXPECT_EQ(number, 0);
    ASSERT_TRUE(SplitIndexedName("trailing_", prefix, number));
    EXPECT_EQ(prefix, "trailing_");
    EXPECT_EQ(number, 0);
    EXPECT_FALSE(SplitIndexedName("logo", prefix, number));
}

}  // namespace
}  // namespace m470
