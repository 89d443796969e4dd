// Message boxes of the program go through one replaceable function, so that
// a batch run (no windows) prints them and tests answer them.
#pragma once

#include <functional>
#include <string>

enum class TMsgKind { Info, Warning, Error, Question };
// Answers of a question box (Yes/No/Cancel) and of a plain box (Ok).
enum class TMsgResult { Ok, Yes, No, Cancel };

// Shows text with a caption; withCancel adds a Cancel button to a question
// (Yes/No/Cancel), otherwise a question has Yes and No.
using TMessageHandler = std::function<TMsgResult(TMsgKind kind, const std::string& caption,
                                                 const std::string& text, bool withCancel)>;

// Installs handler (empty: the default, a modal Qt message box).  Returns the
// handler that was installed before.
TMessageHandler SetMessageHandler(TMessageHandler handler);

TMsgResult ShowMessageBox(TMsgKind kind, const std::string& text, const std::string& caption = "",
                          bool withCancel = false);
// Error box with an OK button.
inline void ShowError(const std::string& text) { ShowMessageBox(TMsgKind::Error, text); }
inline void ShowInfo(const std::string& text) { ShowMessageBox(TMsgKind::Info, text); }
