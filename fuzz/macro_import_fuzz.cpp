// A macro file imported from outside into a library whose catalogue may be
// damaged too: nothing crashes; within the limit the import is kept byte for
// byte under a name of its own, the catalogue reads back with it, its
// events save and read back equal, and a second save writes the same bytes.
// The input is the catalogue, a line "#####", then the file; without that
// line it is all file and the library starts empty.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzSupport.h"
#include "macros/MacroLibrary.h"
#include "platform/JsonFile.h"
#include "platform/Text.h"

using namespace m470;

namespace {

constexpr std::string_view kSeparator = "\n#####\n";

bool SameEntries(const std::vector<MacroEntry>& a, const std::vector<MacroEntry>& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i].name != b[i].name || a[i].guid != b[i].guid) return false;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    const fuzz::OneInput run;
    const std::string folder = fuzz::EmptyFolder("library");
    const std::string outside = fuzz::EmptyFolder("outside");
    const std::string_view input(reinterpret_cast<const char*>(bytes), size);
    const size_t split = input.find(kSeparator);
    std::string_view file = input;
    if (split != std::string_view::npos) {
        const std::string_view catalogue = input.substr(0, split);
        fuzz::WriteFile(folder + kMacroCatalogue, reinterpret_cast<const uint8_t*>(catalogue.data()), catalogue.size());
        file = input.substr(split + kSeparator.size());
    }
    fuzz::WriteFile(outside + "import.mac", reinterpret_cast<const uint8_t*>(file.data()), file.size());

    CMacroLibrary library(folder);
    const size_t before = library.Count();
    const std::string name = library.Import(outside + "import.mac").name;
    if (before >= kMaxMacros) {
        if (!name.empty() || library.Count() != before) fuzz::Fail("an import went past the macro limit");
        return 0;
    }
    if (name.empty() || library.Count() != before + 1) fuzz::Fail("a regular file within the limit was not imported");
    const int index = static_cast<int>(before);
    if (library.Entries()[before].name != name) fuzz::Fail("the import is not the last macro");
    for (size_t i = 0; i < before; ++i)
        if (EqualsIgnoringCase(library.Entries()[i].name, name)) fuzz::Fail("the import took a name in use");

    if (library.Export(index, outside + "export.mac") != ExportResult::Exported ||
        fuzz::ReadFile(outside + "export.mac") != std::string(file))
        fuzz::Fail("the imported file was not kept byte for byte");
    if (!SameEntries(CMacroLibrary(folder).Entries(), library.Entries())) fuzz::Fail("the catalogue reads back different");

    const std::vector<MacroEvent> events = library.LoadEvents(index);
    if (!library.SaveEvents(index, events)) fuzz::Fail("the imported macro could not be saved");
    if (library.LoadEvents(index) != events) fuzz::Fail("the events read back different");
    const std::string saved = fuzz::ReadFile(library.MacroPath(index));
    if (!library.SaveEvents(index, library.LoadEvents(index)) || fuzz::ReadFile(library.MacroPath(index)) != saved)
        fuzz::Fail("a second save changed the macro file");
    return 0;
}
