#include <gtest/gtest.h>

#include "app/SystemReport.h"
#include "support/ElfWordSize.h"

namespace {

SystemReportInput SampleInput() {
    SystemReportInput in;
    in.strVersion = "2.87";
    in.buildBits = 64;
    in.strCpuBrand = "Example CPU 8-Core Processor @ 3.60GHz";
    in.totalMemoryBytes = std::uint64_t{16384} << 20;
    in.availableMemoryBytes = (std::uint64_t{6000} << 20) + (1 << 19);  // 6000.5 MB
    in.strSystemName = "Example Linux 12";
    in.majorVersion = 6;
    in.minorVersion = 1;
    in.strArchitecture = "AMD 64bit";
    in.inDevices = {"WAVE MAPPER", "USB マイク", "Line In"};
    in.selectedInDevice = 1;
    in.outDevices = {"WAVE MAPPER", "Speakers"};
    in.selectedOutDevice = 0;
    return in;
}

TEST(SystemReport, LinesComeInTheFixedLayoutWithMemoryInFull) {
    EXPECT_EQ(FormatSystemReport(SampleInput()),
              "sorvel(64bit) 2.87\n"
              "Example CPU 8-Core Processor @ 3.60GHz  16384MB\n"
              "Example Linux 12 (6.1)  AMD 64bit\n"
              "Total Memory  16384 MB\n"
              "Free  Memory   6000 MB\n"
              "Used  Memory  10383 MB\n"
              "Input Sound Device\n"
              " 0 : WAVE MAPPER\n"
              " 1 : USB マイク\n"
              " 2 : Line In\n"
              " Selected InDev = 1\n"
              "Output Sound Device\n"
              " 0 : WAVE MAPPER\n"
              " 1 : Speakers\n"
              " Selected OutDev = 0\n");
}

TEST(SystemReport, SmallFiguresArePaddedToSixColumnsAndHugeOnesAreNotCut) {
    SystemReportInput in = SampleInput();
    in.totalMemoryBytes = std::uint64_t{512} << 20;
    in.availableMemoryBytes = std::uint64_t{100} << 20;
    std::string text = FormatSystemReport(in);
    EXPECT_NE(text.find("\nTotal Memory    512 MB\nFree  Memory    100 MB\nUsed  Memory    412 MB\n"),
              std::string::npos);

    in.totalMemoryBytes = std::uint64_t{3} << 40;  // 3 TB
    in.availableMemoryBytes = std::uint64_t{1} << 40;
    text = FormatSystemReport(in);
    EXPECT_NE(text.find("  3145728MB\n"), std::string::npos);
    EXPECT_NE(text.find("\nTotal Memory 3145728 MB\nFree  Memory 1048576 MB\nUsed  Memory 2097152 MB\n"),
              std::string::npos);
}

TEST(SystemReport, MachineWithoutDevicesStillListsTheMapper) {
    SystemReportInput in = SampleInput();
    in.inDevices = {"WAVE MAPPER"};
    in.selectedInDevice = 0;
    const std::string text = FormatSystemReport(in);
    EXPECT_NE(text.find("Input Sound Device\n 0 : WAVE MAPPER\n Selected InDev = 0\nOutput Sound Device\n"),
              std::string::npos);
}

TEST(SystemReport, AvailableAboveTotalCountsNothingAsUsed) {
    SystemReportInput in = SampleInput();
    in.availableMemoryBytes = in.totalMemoryBytes + 1;
    const std::string text = FormatSystemReport(in);
    EXPECT_NE(text.find("Free  Memory  16384 MB\nUsed  Memory      0 MB\n"), std::string::npos);
}

TEST(SystemReport, ArchitecturesAreNamedByTheirWidth) {
    EXPECT_STREQ(ArchitectureName("x86_64"), "AMD 64bit");
    EXPECT_STREQ(ArchitectureName("i686"), "32bit");
    EXPECT_STREQ(ArchitectureName("i386"), "32bit");
    EXPECT_STREQ(ArchitectureName("ia64"), "IA 64bit");
    EXPECT_STREQ(ArchitectureName("aarch64"), "unknown bits");
    EXPECT_STREQ(ArchitectureName(""), "unknown bits");
}

TEST(SystemReport, CollectedInputDescribesThisMachine) {
    const SystemReportInput in = CollectSystemReportInput("2.87");
    EXPECT_EQ(in.strVersion, "2.87");
    EXPECT_FALSE(in.strSystemName.empty());
    EXPECT_GT(in.totalMemoryBytes, std::uint64_t{64} << 20);
    EXPECT_LE(in.availableMemoryBytes, in.totalMemoryBytes);
    EXPECT_GE(in.majorVersion, 2u);
#if defined(__x86_64__)
    EXPECT_EQ(in.strArchitecture, "AMD 64bit");
#endif
    // The build's word size, as the test program's own executable states it.
    ASSERT_NE(elfword::BitsOfThisProgram(), 0);
    EXPECT_EQ(FormatSystemReport(in).rfind(elfword::ReportFirstLine() + "\n", 0), 0u);
    SystemReportInput narrow = in;
    narrow.buildBits = 32;
    EXPECT_EQ(FormatSystemReport(narrow).rfind("sorvel(32bit) 2.87\n", 0), 0u);
}

}  // namespace
