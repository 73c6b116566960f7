// Fuzz driver for the converter's settings file patcher: any bytes as the converter's ".ini"
// must be patched without a fault, and
// - the file keeps its lines and their line ends; a line changes only inside [ComboBox],
//   [Radio] or [Edit], and only at the keys the program sets there;
// - afterwards those keys ask for WAV output into the program folder;
// - patching the patched file again asks nothing and changes nothing;
// - no working file is left behind.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "audio/ConverterBridge.h"
#include "fuzz/FuzzFolder.h"
#include "platform/ui/msgbox.h"

using fuzzsupport::Fail;

namespace {

const fuzzsupport::Folder& Work() {
    static const fuzzsupport::Folder folder("converter-ini-fuzz");
    return folder;
}

struct Line {
    std::string body;  // without its line end
    std::string eol;   // "\n", "\r\n" or nothing (the last line)
};

std::vector<Line> Lines(const std::string& text) {
    std::vector<Line> lines;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t nl = text.find('\n', pos);
        Line l;
        if (nl == std::string::npos) {
            l.body = text.substr(pos);
            pos = text.size();
        } else {
            l.body = text.substr(pos, nl - pos);
            l.eol = "\n";
            if (!l.body.empty() && l.body.back() == '\r') {
                l.body.pop_back();
                l.eol = "\r\n";
            }
            pos = nl + 1;
        }
        lines.push_back(l);
    }
    return lines;
}

bool Starts(const std::string& s, const char* prefix) { return s.rfind(prefix, 0) == 0; }

enum class Section { Other, ComboBox, Radio, Edit };

// The keys the program sets in a section (the value is not looked at).
bool IsSetKey(Section section, const std::string& body) {
    switch (section) {
    case Section::ComboBox: return Starts(body, "1003=");
    case Section::Radio: return Starts(body, "wav=") || Starts(body, "outfolder=");
    case Section::Edit: return Starts(body, "outfolder=");
    default: return false;
    }
}

// Whether a set key holds the value the program needs.
bool HoldsNeededValue(Section section, const std::string& body, const std::string& folder) {
    switch (section) {
    case Section::ComboBox: return Starts(body, "1003=0");
    case Section::Radio: return Starts(body, "wav=") ? Starts(body, "wav=1") : Starts(body, "outfolder=1");
    case Section::Edit: {
        const std::string value = body.substr(10);
        return value == folder || value == folder + "/";
    }
    default: return true;
    }
}

void CheckPatched(const std::string& before, const std::string& after, const std::string& folder) {
    const std::vector<Line> a = Lines(before);
    const std::vector<Line> b = Lines(after);
    if (a.size() != b.size()) Fail("the patch changed the number of lines");
    Section section = Section::Other;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (Starts(a[i].body, "[")) {
            section = Starts(a[i].body, "[ComboBox]") ? Section::ComboBox
                      : Starts(a[i].body, "[Radio]")  ? Section::Radio
                      : Starts(a[i].body, "[Edit]")   ? Section::Edit
                                                      : Section::Other;
        }
        if (a[i].eol != b[i].eol) Fail("a line end changed");
        const bool setKey = !Starts(a[i].body, "[") && IsSetKey(section, a[i].body);
        if (!setKey) {
            if (a[i].body != b[i].body) Fail("a line outside the set keys changed");
            continue;
        }
        if (!IsSetKey(section, b[i].body) || !HoldsNeededValue(section, b[i].body, folder))
            Fail("a set key does not ask for WAV output into the program folder");
        if (HoldsNeededValue(section, a[i].body, folder) && a[i].body != b[i].body) Fail("a key that was right was rewritten");
    }
}

bool NoWorkingFiles() {
    for (const auto& entry : std::filesystem::recursive_directory_iterator(Work().Path())) {
        const std::string name = entry.path().filename().string();
        if (name != "conv" && name != "conv.ini" && name != "program") return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string converter = Work().File("conv");
    const std::string ini = Work().File("conv.ini");
    const std::string program = Work().File("program/");
    static const bool ready = [&] {
        std::filesystem::create_directories(program);
        fuzzsupport::WriteFile(converter, "", 0);
        return true;
    }();
    (void)ready;
    const std::string before(reinterpret_cast<const char*>(data), size);
    fuzzsupport::WriteFile(ini, data, size);
    platform::ui::TakeHeadlessMessageBoxes();
    platform::ui::SetHeadlessAnswer(IDYES);

    const BOOL patched = PatchConverterIni(converter, program);
    const std::string after = fuzzsupport::ReadFile(ini);
    platform::ui::TakeHeadlessMessageBoxes();
    if (!NoWorkingFiles()) Fail("a working file was left behind");
    if (!patched) {
        if (after != before) Fail("a refused patch changed the file");
        return 0;
    }
    const std::string folder = program.substr(0, program.size() - 1);
    CheckPatched(before, after, folder);

    // Once patched, the file is as the program needs it: nothing to ask, nothing to change.
    if (!PatchConverterIni(converter, program)) Fail("a patched file was refused");
    if (!platform::ui::TakeHeadlessMessageBoxes().empty()) Fail("a patched file asked again");
    if (fuzzsupport::ReadFile(ini) != after) Fail("patching a patched file changed it");
    if (!NoWorkingFiles()) Fail("a working file was left behind");
    return 0;
}
