#include "document/kwpaths.h"

#include "platform/sysutils.h"

std::string KWSettingsFile() { return KWDataDir() + "KW.ini"; }
std::string KWResumeDir() { return KWDataDir() + "Resume/"; }
std::string KWScriptDir() { return ExecutableDir() + "Script/"; }
