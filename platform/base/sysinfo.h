// What the machine is: processor, memory and operating system, for the system report.
// Every function here can be called from any thread; none keeps state.
#pragma once

#include <cstdint>
#include <string>

#include "platform/base/types.h"

// The processor's brand string: the 48 bytes of the extended brand-string leaves
// 0x80000002..0x80000004, up to the first zero byte. Empty on a processor without those leaves
// and on machines that are not x86.
std::string GetCpuBrandString();

// Number of logical processors the system has online (at least 1).
int GetLogicalProcessorCount();

// The kernel's name for the machine's native architecture ("x86_64", "i686", "aarch64", ...);
// empty when it cannot be read.
std::string GetNativeArchitecture();

// Physical memory in bytes: the total and what is available to new programs without swapping.
// False when neither /proc/meminfo nor sysinfo(2) could tell.
bool GetMemoryStatusBytes(std::uint64_t& totalBytes, std::uint64_t& availableBytes);

// Physical memory in MB (bytes / 2^20, truncated): total, available and total minus available,
// each worked out from the full byte counts. All three are 0 when memory cannot be read.
void GetMemoryStatusMB(int& totalMB, int& availableMB, int& usedMB);

// The operating system's name and version. On Linux the version numbers are those of the kernel
// release (for "6.1.0-18-amd64": major 6, minor 1, build 0) and the name is the distribution's
// PRETTY_NAME, or the kernel's name when no os-release file says one.
struct OsVersionInfo {
    DWORD dwMajorVersion = 0;
    DWORD dwMinorVersion = 0;
    DWORD dwBuildNumber = 0;
    std::string strName;     // "Debian GNU/Linux 12 (bookworm)"
    std::string strRelease;  // "6.1.0-18-amd64"
};

// Fills info; FALSE (info then holds what could be read) when the kernel could not be asked.
BOOL GetOsVersion(OsVersionInfo& info);

namespace platform {

// The parsers behind the functions above, taking the files' text.
// /proc/meminfo: MemTotal and MemAvailable (kB) in bytes. False when MemTotal is missing; a
// missing MemAvailable gives MemFree + Buffers + Cached.
bool ParseMemInfo(const std::string& text, std::uint64_t& totalBytes, std::uint64_t& availableBytes);
// os-release: the PRETTY_NAME value with its quotes and escapes removed, else NAME, else empty.
std::string ParseOsReleaseName(const std::string& text);
// A kernel release "major.minor.build[anything]": the leading numbers; missing ones are 0.
// False when the text does not begin with a number.
bool ParseKernelRelease(const std::string& release, DWORD& major, DWORD& minor, DWORD& build);

}  // namespace platform
