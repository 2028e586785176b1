// A recoil pattern file from outside, found as the user's pattern at start
// and imported into every pattern: a pattern document is kept as it is and
// imported so that it reads back equal, anything else is replaced by the
// factory copy at start and refused by the import, leaving the file as it
// was. A bullet saved into it reads back as saved while every other bullet
// and member stays, the export writes the same bytes as the pattern file,
// and the download image is built exactly when it fits 16-bit lengths.
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzSupport.h"
#include "device_link/EventImage.h"
#include "platform/JsonFile.h"
#include "recoil/RecoilImage.h"
#include "recoil/RecoilPatterns.h"

using namespace m470;

namespace {

// A factory pattern of one bullet; the real ones are large, and reading four
// of them for every input would leave little time for the input itself.
constexpr std::string_view kFactoryPattern =
    R"({"Events": [{"Type": 1, "Button": 1, "Action": "down", "Delay": 10},)"
    R"({"Type": 1, "Button": 1, "Action": "up", "Delay": 0},)"
    R"({"Type": 4, "Button": 3, "Action": "down", "Delay": 5},)"
    R"({"Type": 5, "Button": 7, "Action": "up", "Delay": 95},)"
    R"({"Type": 4, "Button": 0, "Action": "down", "Delay": 0},)"
    R"({"Type": 5, "Button": 0, "Action": "down", "Delay": 0}]})";

const std::string& FactoryFolder() {
    static const std::string folder = [] {
        const std::string made = fuzz::EmptyFolder("factory");
        for (int n = 0; n < kRecoilPatternCount; ++n)
            fuzz::WriteFile(made + RecoilPatternFileName(n), reinterpret_cast<const uint8_t*>(kFactoryPattern.data()),
                            kFactoryPattern.size());
        return made;
    }();
    return folder;
}

// Said here rather than by the code under test: an object with an array "Events".
bool LooksLikePattern(const Json::Value& document) {
    return document.isObject() && document.isMember("Events") && document["Events"].isArray();
}

const char* const kEventFields[] = {"Type", "Button", "Action", "Delay"};

bool IsEventField(const std::string& name) {
    for (const char* field : kEventFields)
        if (name == field) return true;
    return false;
}

// Every member of before but the four fields of an event is still in after, equal.
bool KeepsOtherMembers(const Json::Value& before, const Json::Value& after, bool event) {
    if (!before.isObject()) return true;
    for (const std::string& name : before.getMemberNames()) {
        if ((event && IsEventField(name)) || (!event && name == "Events")) continue;
        const Json::Value* kept = after.isObject() ? after.find(name.data(), name.data() + name.size()) : nullptr;
        if (kept == nullptr || *kept != before[name]) return false;
    }
    return true;
}

int32_t WordAt(std::string_view input, size_t at) {
    uint8_t word[4] = {};
    for (size_t i = 0; i < 4 && at + i < input.size(); ++i) word[i] = static_cast<uint8_t>(input[at + i]);
    int32_t value = 0;
    std::memcpy(&value, word, sizeof value);
    return value;
}

void CheckImage(const RecoilPatterns& patterns) {
    const std::vector<ImageEntry> entries = patterns.DeviceEntries();
    if (entries.size() != kRecoilPatternCount) fuzz::Fail("the download does not hold four patterns");
    size_t events = 0;
    for (const ImageEntry& entry : entries) events += entry.size();
    const size_t length = kEventImageHeader + 6 * entries.size() + 4 * events;
    const std::optional<std::vector<uint8_t>> image = BuildRecoilImage(entries);
    if (length > kMaxRecoilImageBytes) {
        if (image) fuzz::Fail("an image above 65,535 bytes was built");
        return;
    }
    std::vector<ImageEntry> parsed;
    if (!image || image->size() != length) fuzz::Fail("an image that fits was not built whole");
    if (!ParseEventImage(image->data(), image->size(), parsed) || parsed != entries)
        fuzz::Fail("the image does not read back as the four patterns");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    const fuzz::OneInput run;
    const std::string user = fuzz::EmptyFolder("user");
    const std::string outside = fuzz::EmptyFolder("outside");
    const std::string_view input(reinterpret_cast<const char*>(bytes), size);
    const std::string importPath = outside + "import.shoot";
    fuzz::WriteFile(importPath, bytes, size);
    fuzz::WriteFile(user + RecoilPatternFileName(1), bytes, size);
    const Json::Value given = LoadJson(importPath);
    const bool pattern = LooksLikePattern(given);

    RecoilPatterns patterns(user, FactoryFolder());
    if (patterns.RestoreMissing() != (pattern ? 3 : 4)) fuzz::Fail("start restored the wrong patterns");
    const Json::Value factory = LoadJson(FactoryFolder() + RecoilPatternFileName(1));
    const bool kept = pattern ? fuzz::ReadFile(patterns.PatternPath(1)) == input
                              : LoadJson(patterns.PatternPath(1)) == factory;
    if (!kept) fuzz::Fail("a pattern found at start was not kept, or a damaged one not restored");

    for (int n = 0; n < kRecoilPatternCount; ++n) {
        const std::string before = fuzz::ReadFile(patterns.PatternPath(n));
        const RecoilImportResult result = patterns.Import(n, importPath);
        if (result != (pattern ? RecoilImportResult::Imported : RecoilImportResult::Refused))
            fuzz::Fail("the import took a file that is no pattern, or refused one that is");
        if (!pattern && fuzz::ReadFile(patterns.PatternPath(n)) != before)
            fuzz::Fail("a refused import changed the pattern");
        if (pattern && LoadJson(patterns.PatternPath(n)) != given)
            fuzz::Fail("the imported pattern reads back different");
    }

    const std::string exportPath = outside + "export.shoot";
    if (patterns.Export(0, exportPath) != ExportResult::Exported ||
        fuzz::ReadFile(exportPath) != fuzz::ReadFile(patterns.PatternPath(0)))
        fuzz::Fail("the export differs from the pattern file");

    // A bullet typed into the page: numbers as the edit fields read them.
    Bullet typed;
    typed.x = ParseBulletNumber(std::to_string(WordAt(input, 0)));
    typed.y = ParseBulletNumber(std::to_string(WordAt(input, 4)));
    typed.delay = ParseBulletNumber(input);
    typed.left = (size & 1) != 0;
    typed.up = (size & 2) != 0;
    if (typed.x != WordAt(input, 0) || typed.y != WordAt(input, 4))
        fuzz::Fail("a number does not read back as written");
    const int bullet = static_cast<int>(size % kRecoilBulletCount);

    const Json::Value before = LoadJson(patterns.PatternPath(0));
    if (!patterns.SaveBullet(0, bullet, typed)) fuzz::Fail("a bullet could not be saved");
    const Json::Value after = LoadJson(patterns.PatternPath(0));
    for (int b = 0; b < kRecoilBulletCount; ++b)
        if (ReadBullet(after, b) != (b == bullet ? typed : ReadBullet(before, b)))
            fuzz::Fail(b == bullet ? "the saved bullet reads back different" : "saving a bullet changed another");
    // As the page reads it; each call reads the whole file, so only the saved bullet.
    if (patterns.LoadBullet(0, bullet) != typed) fuzz::Fail("the saved bullet loads different");
    if (!KeepsOtherMembers(before, after, false)) fuzz::Fail("saving a bullet lost a member of the pattern");
    const Json::Value& oldEvents = Member(before, "Events");
    for (Json::ArrayIndex i = 0; i < static_cast<Json::ArrayIndex>(kEventsPerBullet); ++i) {
        const Json::ArrayIndex at = static_cast<Json::ArrayIndex>(bullet * kEventsPerBullet) + i;
        if (at < oldEvents.size() && !KeepsOtherMembers(oldEvents[at], Element(Member(after, "Events"), at), true))
            fuzz::Fail("saving a bullet lost a member of its events");
    }
    const std::string saved = fuzz::ReadFile(patterns.PatternPath(0));
    if (!patterns.SaveBullet(0, bullet, typed) || fuzz::ReadFile(patterns.PatternPath(0)) != saved)
        fuzz::Fail("saving the same bullet again changed the file");

    CheckImage(patterns);
    return 0;
}
