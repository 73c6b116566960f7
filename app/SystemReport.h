// The system report at the head of the trace file: program version, processor, memory,
// operating system and both sound-device tables, one fixed line layout. Formatting takes a plain
// record, so the text can be made (and checked) without a window or the machine it describes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The word size of this build of the program in bits (64 on a 64-bit build): what the report's
// first line and the about box say.
inline constexpr int BuildWordBits() { return static_cast<int>(sizeof(void*) * 8); }

struct SystemReportInput {
    std::string strVersion;          // "2.87"
    int buildBits = BuildWordBits(); // word size of the program: "sorvel(64bit)"
    std::string strCpuBrand;         // the processor's brand string
    std::uint64_t totalMemoryBytes = 0;
    std::uint64_t availableMemoryBytes = 0;
    std::string strSystemName;       // operating system name
    unsigned majorVersion = 0;       // kernel release major.minor
    unsigned minorVersion = 0;
    std::string strArchitecture;     // "AMD 64bit", "32bit", "IA 64bit" or "unknown bits"
    // Device tables as the program lists them: entry 0 is "WAVE MAPPER", devices follow.
    std::vector<std::string> inDevices;
    int selectedInDevice = 0;
    std::vector<std::string> outDevices;
    int selectedOutDevice = 0;
};

// Text of the whole report, every line ended by '\n'.
std::string FormatSystemReport(const SystemReportInput& in);

// The report's name for a native architecture as the kernel names it ("x86_64" -> "AMD 64bit",
// "i686" -> "32bit", "ia64" -> "IA 64bit", anything else "unknown bits").
const char* ArchitectureName(const std::string& machine);

// System name used when the operating system does not say its name; a kernel release that
// cannot be read gives the version 0.0.
inline constexpr const char* kUnknownSystemName = "unknown system";

// Fills everything but the device tables from this machine.
SystemReportInput CollectSystemReportInput(const std::string& version);
