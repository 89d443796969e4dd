// Where the program keeps its settings, resume data and swap files: the
// program folder, or the user's data folder for an installed or read-only
// program folder (procdef/kwdatadir.h decides, once for the program and its
// packages).
#pragma once

#include <string>

#include "procdef/kwdatadir.h"

// Overrides KWDataDir (tests; a batch run).  Empty: decide again.
inline void SetKWDataDir(const std::string& dir) { KWSetDataDir(dir); }
// The program's settings file.
std::string KWSettingsFile();
// The resume folder, with a trailing '/'.
std::string KWResumeDir();
// The folder of the Script menu (beside the program), with a trailing '/'.
std::string KWScriptDir();
