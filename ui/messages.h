// Message boxes: the process-wide dispatch lives in libKWPrcDef
// (procdef/kwmessages.h); this is the window box that the program installs
// as the handler when it has windows.
#pragma once

#include "procdef/kwmessages.h"

// A modal Qt message box (questions with Japanese Yes/No/Cancel buttons).
TMsgResult KWShowQtMessageBox(TMsgKind kind, const std::string& caption, const std::string& text,
                              bool withCancel);
