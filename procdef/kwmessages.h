// Message boxes and the image plug-in list: state that exists once per
// process.  The program and every processor package reach it through this
// library, so a batch run that redirects messages redirects them for the
// packages as well.
#pragma once

#include <functional>
#include <string>

#include "procdef/kwprcdef_api.h"

enum class TMsgKind { Info, Warning, Error, Question };
// Answers of a question box (Yes/No/Cancel) and of a plain box (Ok).
enum class TMsgResult { Ok, Yes, No, Cancel };

// Shows text with a caption; withCancel adds a Cancel button to a question
// (Yes/No/Cancel), otherwise a question has Yes and No.
using TMessageHandler = std::function<TMsgResult(TMsgKind kind, const std::string& caption,
                                                 const std::string& text, bool withCancel)>;

// Installs handler and returns the one installed before.  With no handler
// installed, messages go to stderr (errors, warnings) or stdout and
// questions are answered No: nothing ever waits for a click unless the
// program has installed its window boxes.
KWPRCDEF_API TMessageHandler SetMessageHandler(TMessageHandler handler);

KWPRCDEF_API TMsgResult ShowMessageBox(TMsgKind kind, const std::string& text,
                                       const std::string& caption = "", bool withCancel = false);
// Error box with an OK button.
inline void ShowError(const std::string& text) { ShowMessageBox(TMsgKind::Error, text); }
inline void ShowInfo(const std::string& text) { ShowMessageBox(TMsgKind::Info, text); }

// Whether dialogs that wait for the user (file dialogs, input boxes) may be
// shown.  False in a batch run: such code takes its no-answer path.
KWPRCDEF_API bool KWInteractive();
KWPRCDEF_API void KWSetInteractive(bool interactive);

// The image plug-in list of the process (TSPIs), or null.  Set by the list
// itself when it is created and cleared when it goes.
class TSPIs;
KWPRCDEF_API TSPIs* KWImagePlugins();
KWPRCDEF_API void KWSetImagePlugins(TSPIs* list);
