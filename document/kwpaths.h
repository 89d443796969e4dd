// Where the program keeps its settings, resume data and swap files: the
// program folder, or the user's data folder when the program folder is not
// writable (an installed copy).
#pragma once

#include <string>

// Folder for KW.ini, Resume/ and UndoData/, with a trailing '/'.
std::string KWDataDir();
// Overrides KWDataDir (tests; a batch run).  Empty: decide again.
void SetKWDataDir(const std::string& dir);
// The program's settings file.
std::string KWSettingsFile();
// The resume folder, with a trailing '/'.
std::string KWResumeDir();
// The folder of the Script menu (beside the program), with a trailing '/'.
std::string KWScriptDir();
