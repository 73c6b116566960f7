// A stand-in for the outside converter, written by the tests: a shell script that follows the
// converter protocol. It reads its settings file beside it (its name with ".ini"), converts
// only when [Radio] asks for WAV output into the folder of [Edit] outfolder, and then writes
// `<outfolder>/<source's base name>.wav` with sox as 16-bit 44.1 kHz. Every call is logged,
// one argument a line, to calls.log beside it.
#pragma once

#include <string>

#include <sys/stat.h>

#include "support/RiffBytes.h"

namespace batchtest {

inline std::string StandInScript() {
    return R"SH(#!/bin/sh
here=$(dirname "$0")
ini="$here/$(basename "$0" .sh).ini"
{ echo "call $#"; for a in "$@"; do echo "$a"; done; } >> "$here/calls.log"
value() {
  awk -v sec="[$1]" -v key="$2" '
    { sub(/\r$/, "") }
    /^\[/ { cur = $0; next }
    cur == sec && index($0, key "=") == 1 { print substr($0, length(key) + 2) }' "$ini"
}
[ "$(value Radio wav)" = 1 ] || exit 2
[ "$(value Radio outfolder)" = 1 ] || exit 2
out=$(value Edit outfolder)
[ -d "$out" ] || exit 3
base=$(basename "$1")
base=${base%.*}
exec sox "$1" -r 44100 -b 16 "$out/$base.wav" 2>/dev/null
)SH";
}

// Writes the script at path (executable) and its settings file beside it.
inline void MakeStandIn(const std::string& path, const std::string& ini) {
    riffbytes::WriteFile(path, StandInScript());
    ::chmod(path.c_str(), 0755);
    const std::string iniPath = path.substr(0, path.rfind('.')) + ".ini";
    riffbytes::WriteFile(iniPath, ini);
}

// A settings file as the converter leaves it before it was set up for the program.
inline std::string FreshIni() {
    return "[Main]\r\nversion=3\r\n[ComboBox]\r\n1003=2\r\n1004=1\r\n[Radio]\r\nwav=0\r\nmp3=1\r\noutfolder=0\r\n"
           "[Edit]\r\noutfolder=C:\\Music\r\n";
}

}  // namespace batchtest
