#include "app/SystemReport.h"

#include <cinttypes>
#include <cstdio>

#include "platform/base/sysinfo.h"

namespace {

void AppendF(std::string& out, const char* fmt, auto... args) {
    char buf[256];
    const int n = std::snprintf(buf, sizeof buf, fmt, args...);
    if (n < 0) return;
    if (static_cast<size_t>(n) < sizeof buf) {
        out.append(buf, static_cast<size_t>(n));
        return;
    }
    std::string big(static_cast<size_t>(n) + 1, '\0');
    std::snprintf(big.data(), big.size(), fmt, args...);
    big.resize(static_cast<size_t>(n));
    out += big;
}

void AppendDeviceTable(std::string& out, const char* title, const std::vector<std::string>& names,
                       const char* selectedLabel, int selected) {
    out += title;
    for (size_t i = 0; i < names.size(); ++i) {
        AppendF(out, " %d : ", static_cast<int>(i));
        out += names[i];
        out += '\n';
    }
    AppendF(out, " %s = %d\n", selectedLabel, selected);
}

}  // namespace

std::string FormatSystemReport(const SystemReportInput& in) {
    const std::uint64_t avail =
        in.availableMemoryBytes > in.totalMemoryBytes ? in.totalMemoryBytes : in.availableMemoryBytes;
    const std::uint64_t totalMB = in.totalMemoryBytes >> 20;
    const std::uint64_t availMB = avail >> 20;
    const std::uint64_t usedMB = (in.totalMemoryBytes - avail) >> 20;

    std::string out;
    AppendF(out, "sorvel(%dbit) ", in.buildBits);
    out += in.strVersion + "\n";
    out += in.strCpuBrand;
    AppendF(out, "  %" PRIu64 "MB\n", totalMB);
    out += in.strSystemName;
    AppendF(out, " (%u.%u)  ", in.majorVersion, in.minorVersion);
    out += in.strArchitecture + "\n";
    AppendF(out, "Total Memory %6" PRIu64 " MB\n", totalMB);
    AppendF(out, "Free  Memory %6" PRIu64 " MB\n", availMB);
    AppendF(out, "Used  Memory %6" PRIu64 " MB\n", usedMB);
    AppendDeviceTable(out, "Input Sound Device\n", in.inDevices, "Selected InDev", in.selectedInDevice);
    AppendDeviceTable(out, "Output Sound Device\n", in.outDevices, "Selected OutDev", in.selectedOutDevice);
    return out;
}

const char* ArchitectureName(const std::string& machine) {
    if (machine == "x86_64" || machine == "amd64") return "AMD 64bit";
    if (machine == "i386" || machine == "i486" || machine == "i586" || machine == "i686") return "32bit";
    if (machine == "ia64") return "IA 64bit";
    return "unknown bits";
}

SystemReportInput CollectSystemReportInput(const std::string& version) {
    SystemReportInput in;
    in.strVersion = version;
    in.strCpuBrand = GetCpuBrandString();
    GetMemoryStatusBytes(in.totalMemoryBytes, in.availableMemoryBytes);
    OsVersionInfo os;
    if (GetOsVersion(os)) {
        in.majorVersion = os.dwMajorVersion;
        in.minorVersion = os.dwMinorVersion;
    }
    in.strSystemName = os.strName.empty() ? kUnknownSystemName : os.strName;
    in.strArchitecture = ArchitectureName(GetNativeArchitecture());
    return in;
}
