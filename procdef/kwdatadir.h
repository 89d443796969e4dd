// Where the program keeps what it writes: the settings files (KW.ini,
// ProcLib/KWPrcLib.ini) and the resume data (Resume/).  One answer for the
// program and every package, so it lives in the framework library.  (The
// swap files of the undo history have a private folder per process,
// platform/ownedfiles.h.)
//
// A program folder that can be written and was not installed (the build
// tree, a copied folder) keeps them itself.  An installed program folder
// (the installation puts the file named by kKWInstalledMarker into it) or
// one that cannot be written sends them to the user's data folder,
// $XDG_DATA_HOME/Varoka/ (by default ~/.local/share/Varoka/), created when
// first needed.
#pragma once

#include <string>

#include "procdef/kwprcdef_api.h"

// "installed.txt": its presence marks an installed, read-only program folder.
KWPRCDEF_API extern const char* const kKWInstalledMarker;

// The folder described above, with a trailing '/'.
KWPRCDEF_API std::string KWDataDir();
// Overrides KWDataDir for this process (tests, the build's reference
// generator); empty: decide again.
KWPRCDEF_API void KWSetDataDir(const std::string& dir);
// The user's data folder, with a trailing '/' (not created here).
KWPRCDEF_API std::string KWUserDataDir();
