// Fuzz driver for the settings file reader: any bytes must read without a fault, and reading
// what the writer makes of the result must give the same file again.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "app/SettingsFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    constexpr std::int64_t kTime = 1700000000;
    CSettingsFile first("/opt/sorvel/");
    first.Parse(std::string_view(reinterpret_cast<const char*>(data), size));
    const std::string written = first.Format(kTime);

    CSettingsFile second("/somewhere/else/");
    if (second.Parse(written) != SettingsReadResult::Read) std::abort();
    if (second.Format(kTime) != written) std::abort();
    return 0;
}
