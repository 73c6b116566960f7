// The bridge to the outside converter: a program the user points to that turns an audio file
// of another format into a WAV file. It is run as `<converter> <source>` and writes
// `<program folder>/<source's base name>.wav`; the settings file beside it (its name with
// ".ini") must tell it to write WAV files into the program folder, which PatchConverterIni sees
// to after the user agrees.
#pragma once

#include <string>

#include "platform/base/types.h"

// Makes the converter's settings file beside it ask for WAV output into folder (the program
// folder, ending with '/'). TRUE when the file already did or was changed with the user's
// consent; FALSE when the converter or its settings file is missing or not a regular file, the
// settings file is read-only for its owner, the change failed (the user has been told), or the
// user said No. A replaced settings file keeps its permissions. A section header other than the three recognised
// ones ends the recognised section, so nothing outside them is ever changed.
BOOL PatchConverterIni(const std::string& converterPath, const std::string& folder);
