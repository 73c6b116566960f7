#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "platform/base/sysinfo.h"
#include "support/RiffBytes.h"

namespace {

using riffbytes::ReadFile;

TEST(MemInfo, TotalAndAvailableAreConvertedFromKibibytes) {
    const std::string text =
        "MemTotal:       16777216 kB\n"
        "MemFree:         1000000 kB\n"
        "MemAvailable:    8388608 kB\n"
        "Buffers:           10000 kB\n";
    std::uint64_t total = 0, avail = 0;
    ASSERT_TRUE(platform::ParseMemInfo(text, total, avail));
    EXPECT_EQ(total, std::uint64_t{16} << 30);
    EXPECT_EQ(avail, std::uint64_t{8} << 30);
}

TEST(MemInfo, OldKernelsWithoutAvailableUseFreePlusCaches) {
    const std::string text =
        "MemTotal:  1000 kB\nMemFree:  100 kB\nBuffers:  20 kB\nCached:  300 kB\nSwapCached:  7 kB\n";
    std::uint64_t total = 0, avail = 0;
    ASSERT_TRUE(platform::ParseMemInfo(text, total, avail));
    EXPECT_EQ(total, 1000u * 1024);
    EXPECT_EQ(avail, 420u * 1024);
}

TEST(MemInfo, MissingOrUnreadableTotalIsAFailure) {
    std::uint64_t total = 0, avail = 0;
    EXPECT_FALSE(platform::ParseMemInfo("MemFree: 100 kB\n", total, avail));
    EXPECT_FALSE(platform::ParseMemInfo("MemTotal: lots\n", total, avail));
    EXPECT_FALSE(platform::ParseMemInfo("", total, avail));
}

TEST(MemInfo, ThisMachineReportsConsistentFigures) {
    int total = 0, avail = 0, used = 0;
    GetMemoryStatusMB(total, avail, used);
    EXPECT_GT(total, 64);
    EXPECT_LE(avail, total);
    EXPECT_GE(used, total - avail - 1);
    EXPECT_LE(used, total - avail + 1);
}

TEST(OsRelease, PrettyNameLosesItsQuotesAndEscapes) {
    EXPECT_EQ(platform::ParseOsReleaseName("NAME=\"X\"\nPRETTY_NAME=\"Example \\\"Linux\\\" 12 (codename)\"\n"),
              "Example \"Linux\" 12 (codename)");
    EXPECT_EQ(platform::ParseOsReleaseName("PRETTY_NAME='Single Quoted'\n"), "Single Quoted");
    EXPECT_EQ(platform::ParseOsReleaseName("PRETTY_NAME=Bare\r\n"), "Bare");
}

TEST(OsRelease, NameStandsInForAMissingPrettyName) {
    EXPECT_EQ(platform::ParseOsReleaseName("ID=x\nNAME=\"Plain Name\"\n"), "Plain Name");
    EXPECT_EQ(platform::ParseOsReleaseName("ID=x\nPRETTY_NAMES=\"no\"\n"), "");
}

TEST(KernelRelease, MajorMinorAndBuildAreTheLeadingNumbers) {
    DWORD major = 9, minor = 9, build = 9;
    ASSERT_TRUE(platform::ParseKernelRelease("6.1.0-18-amd64", major, minor, build));
    EXPECT_EQ(major, 6u);
    EXPECT_EQ(minor, 1u);
    EXPECT_EQ(build, 0u);
    ASSERT_TRUE(platform::ParseKernelRelease("6.18.44-fc-v1300", major, minor, build));
    EXPECT_EQ(minor, 18u);
    EXPECT_EQ(build, 44u);
    ASSERT_TRUE(platform::ParseKernelRelease("5.15", major, minor, build));
    EXPECT_EQ(major, 5u);
    EXPECT_EQ(minor, 15u);
    EXPECT_EQ(build, 0u);
    EXPECT_FALSE(platform::ParseKernelRelease("generic", major, minor, build));
    EXPECT_EQ(major, 0u);
}

TEST(OsVersion, ThisMachineHasAKernelReleaseAndAName) {
    OsVersionInfo info;
    ASSERT_TRUE(GetOsVersion(info));
    EXPECT_GE(info.dwMajorVersion, 2u);
    EXPECT_FALSE(info.strName.empty());
    EXPECT_EQ(info.strRelease.rfind(std::to_string(info.dwMajorVersion) + ".", 0), 0u);
}

TEST(Processor, BrandStringIsTheOneTheKernelReports) {
    const std::string brand = GetCpuBrandString();
#if defined(__x86_64__) || defined(__i386__)
    EXPECT_LE(brand.size(), 48u);
    const std::string cpuinfo = ReadFile("/proc/cpuinfo");
    const auto pos = cpuinfo.find("model name\t: ");
    if (pos == std::string::npos) GTEST_SKIP() << "no model name in /proc/cpuinfo";
    const std::string model = cpuinfo.substr(pos + 13, cpuinfo.find('\n', pos) - pos - 13);
    // The kernel trims the blanks around the brand string.
    std::string trimmed = brand;
    trimmed.erase(0, trimmed.find_first_not_of(' '));
    trimmed.erase(trimmed.find_last_not_of(' ') + 1);
    EXPECT_EQ(trimmed, model);
#else
    EXPECT_TRUE(brand.empty());
#endif
}

TEST(Processor, LogicalProcessorCountMatchesTheKernelsList) {
    const std::string cpuinfo = ReadFile("/proc/cpuinfo");
    int listed = 0;
    for (size_t pos = 0; (pos = cpuinfo.find("processor\t:", pos)) != std::string::npos; ++pos) ++listed;
    EXPECT_GE(GetLogicalProcessorCount(), 1);
    if (listed > 0) {
        EXPECT_EQ(GetLogicalProcessorCount(), listed);
    }
}

TEST(Processor, NativeArchitectureIsTheKernelsMachineName) {
#if defined(__x86_64__)
    EXPECT_EQ(GetNativeArchitecture(), "x86_64");
#elif defined(__aarch64__)
    EXPECT_EQ(GetNativeArchitecture(), "aarch64");
#else
    EXPECT_FALSE(GetNativeArchitecture().empty());
#endif
}

}  // namespace
