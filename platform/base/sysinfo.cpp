#include "platform/base/sysinfo.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cstdio>
#include <cstring>

#include <sys/sysinfo.h>
#include <sys/utsname.h>
#include <unistd.h>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif

namespace {

// Reads at most maxBytes of a small system file; empty when it cannot be opened.
std::string ReadSmallFile(const char* path, size_t maxBytes = 65536) {
    std::string text;
    std::FILE* f = std::fopen(path, "rb");
    if (!f) return text;
    char buf[4096];
    size_t n;
    while (text.size() < maxBytes && (n = std::fread(buf, 1, sizeof buf, f)) > 0) {
        text.append(buf, std::min(n, maxBytes - text.size()));
    }
    std::fclose(f);
    return text;
}

// The value (in kB) of "Key:   1234 kB" in meminfo text; false when the key is missing.
bool MemInfoValue(const std::string& text, const char* key, std::uint64_t& kB) {
    const size_t keyLen = std::strlen(key);
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        if (end - pos > keyLen && text.compare(pos, keyLen, key) == 0 && text[pos + keyLen] == ':') {
            size_t p = pos + keyLen + 1;
            while (p < end && (text[p] == ' ' || text[p] == '\t')) ++p;
            std::uint64_t v = 0;
            const auto res = std::from_chars(text.data() + p, text.data() + end, v);
            if (res.ec != std::errc() || res.ptr == text.data() + p) return false;
            kB = v;
            return true;
        }
        pos = end + 1;
    }
    return false;
}

std::uint64_t KiBToBytes(std::uint64_t kB) {
    return kB > UINT64_MAX / 1024 ? UINT64_MAX : kB * 1024;
}

int ToMB(std::uint64_t bytes) {
    const std::uint64_t mb = bytes >> 20;
    return mb > static_cast<std::uint64_t>(INT_MAX) ? INT_MAX : static_cast<int>(mb);
}

}  // namespace

std::string GetCpuBrandString() {
#if defined(__x86_64__) || defined(__i386__)
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (!__get_cpuid(0x80000000u, &a, &b, &c, &d) || a < 0x80000004u) return std::string();
    char brand[49] = {};
    for (unsigned leaf = 0; leaf < 3; ++leaf) {
        __cpuid(0x80000002u + leaf, a, b, c, d);
        const unsigned regs[4] = {a, b, c, d};
        std::memcpy(brand + leaf * 16, regs, sizeof regs);
    }
    brand[48] = '\0';
    return std::string(brand);
#else
    return std::string();
#endif
}

int GetLogicalProcessorCount() {
    const long n = ::sysconf(_SC_NPROCESSORS_ONLN);
    if (n < 1) return 1;
    return n > INT_MAX ? INT_MAX : static_cast<int>(n);
}

std::string GetNativeArchitecture() {
    struct utsname u {};
    if (::uname(&u) != 0) return std::string();
    return std::string(u.machine);
}

bool GetMemoryStatusBytes(std::uint64_t& totalBytes, std::uint64_t& availableBytes) {
    if (platform::ParseMemInfo(ReadSmallFile("/proc/meminfo"), totalBytes, availableBytes)) return true;
    struct sysinfo si {};
    if (::sysinfo(&si) != 0) return false;
    const std::uint64_t unit = si.mem_unit ? si.mem_unit : 1;
    totalBytes = static_cast<std::uint64_t>(si.totalram) * unit;
    availableBytes = (static_cast<std::uint64_t>(si.freeram) + si.bufferram) * unit;
    if (availableBytes > totalBytes) availableBytes = totalBytes;
    return true;
}

void GetMemoryStatusMB(int& totalMB, int& availableMB, int& usedMB) {
    std::uint64_t total = 0, avail = 0;
    if (!GetMemoryStatusBytes(total, avail)) {
        totalMB = availableMB = usedMB = 0;
        return;
    }
    totalMB = ToMB(total);
    availableMB = ToMB(avail);
    usedMB = ToMB(total - avail);
}

BOOL GetOsVersion(OsVersionInfo& info) {
    info = OsVersionInfo();
    std::string osRelease = ReadSmallFile("/etc/os-release");
    if (osRelease.empty()) osRelease = ReadSmallFile("/usr/lib/os-release");
    info.strName = platform::ParseOsReleaseName(osRelease);

    struct utsname u {};
    if (::uname(&u) != 0) return FALSE;
    if (info.strName.empty()) info.strName = u.sysname;
    info.strRelease = u.release;
    return platform::ParseKernelRelease(info.strRelease, info.dwMajorVersion, info.dwMinorVersion,
                                        info.dwBuildNumber)
               ? TRUE
               : FALSE;
}

namespace platform {

bool ParseMemInfo(const std::string& text, std::uint64_t& totalBytes, std::uint64_t& availableBytes) {
    std::uint64_t totalKB = 0;
    if (!MemInfoValue(text, "MemTotal", totalKB)) return false;
    std::uint64_t availKB = 0;
    if (!MemInfoValue(text, "MemAvailable", availKB)) {
        // Kernels before 3.14 do not say MemAvailable; free memory plus the page cache is the
        // usual estimate there.
        std::uint64_t freeKB = 0, buffersKB = 0, cachedKB = 0;
        MemInfoValue(text, "MemFree", freeKB);
        MemInfoValue(text, "Buffers", buffersKB);
        MemInfoValue(text, "Cached", cachedKB);
        availKB = freeKB + buffersKB + cachedKB;
    }
    if (availKB > totalKB) availKB = totalKB;
    totalBytes = KiBToBytes(totalKB);
    availableBytes = KiBToBytes(availKB);
    return true;
}

namespace {

// The value of KEY=value in os-release text: quotes removed, backslash escapes resolved inside
// double quotes; empty when the key is not there.
std::string OsReleaseValue(const std::string& text, const std::string& key) {
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(pos, end - pos);
        pos = end + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.compare(0, key.size(), key) != 0 || line.size() <= key.size() || line[key.size()] != '=')
            continue;
        const std::string raw = line.substr(key.size() + 1);
        std::string value;
        if (!raw.empty() && (raw[0] == '"' || raw[0] == '\'')) {
            const char quote = raw[0];
            for (size_t i = 1; i < raw.size() && raw[i] != quote; ++i) {
                if (quote == '"' && raw[i] == '\\' && i + 1 < raw.size()) ++i;
                value += raw[i];
            }
        } else {
            value = raw;
            while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.pop_back();
        }
        return value;
    }
    return std::string();
}

}  // namespace

std::string ParseOsReleaseName(const std::string& text) {
    std::string name = OsReleaseValue(text, "PRETTY_NAME");
    if (name.empty()) name = OsReleaseValue(text, "NAME");
    return name;
}

bool ParseKernelRelease(const std::string& release, DWORD& major, DWORD& minor, DWORD& build) {
    major = minor = build = 0;
    DWORD* parts[3] = {&major, &minor, &build};
    const char* p = release.data();
    const char* end = p + release.size();
    for (int i = 0; i < 3; ++i) {
        const auto res = std::from_chars(p, end, *parts[i]);
        if (res.ec != std::errc() || res.ptr == p) {
            *parts[i] = 0;
            return i > 0;
        }
        p = res.ptr;
        if (p == end || *p != '.') return true;
        ++p;
    }
    return true;
}

}  // namespace platform
