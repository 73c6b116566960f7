// The word size of a built program as its executable file states it: the class byte of the ELF
// header (1: 32-bit, 2: 64-bit). Read from the file, not from the compiler, so a test can check
// what the program says about itself against something the program did not compute.
#pragma once

#include <fstream>
#include <string>

namespace elfword {

// 32 or 64, or 0 when the file is not an ELF executable.
inline int BitsOf(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    char header[5] = {};
    if (!in.read(header, sizeof header)) return 0;
    if (header[0] != 0x7f || header[1] != 'E' || header[2] != 'L' || header[3] != 'F') return 0;
    return header[4] == 1 ? 32 : header[4] == 2 ? 64 : 0;
}

// The word size of the running test program (built with the same compiler and flags as the
// program).
inline int BitsOfThisProgram() { return BitsOf("/proc/self/exe"); }

// The first line of the system report as this build must write it.
inline std::string ReportFirstLine() { return "sorvel(" + std::to_string(BitsOfThisProgram()) + "bit) 2.87"; }

}  // namespace elfword
