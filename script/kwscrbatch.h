// Running a script without any window (KW --run): messages go to the
// console, errors end the run with exit code 1 and their message on stderr.
#pragma once

#include <functional>
#include <iosfwd>
#include <string>

#include "script/kwscrengine.h"

// A host whose message boxes are printed: information to out, each message
// followed by a newline.  Processor lookups are delegated to the functions
// given (unset: no processors).
class TKWConsoleScriptHost : public TKWScriptHost {
 public:
  TKWConsoleScriptHost(std::ostream& out, std::ostream& err) : out_(out), err_(err) {}

  std::function<TKWBasicFilter*(const std::string&)> FilterLookup;
  std::function<TKWBasicMixer*(const std::string&)> MixerLookup;
  std::function<TKWBasicGenerator*(const std::string&)> GeneratorLookup;

  TKWBasicFilter* FindFilter(const std::string& name) override;
  TKWBasicMixer* FindMixer(const std::string& name) override;
  TKWBasicGenerator* FindGenerator(const std::string& name) override;
  void ShowInformation(const std::string& text) override;
  void ShowError(const std::string& text);

 private:
  std::ostream& out_;
  std::ostream& err_;
};

// Exit codes of a batch run.
constexpr int kKWSExitOk = 0;
constexpr int kKWSExitError = 1;
constexpr int kKWSExitUsage = 2;

// Runs the file with the engine.  0 when the script ran to its end; 1 when
// the file is missing or the run stopped on an error, whose message (the
// text of the GUI's error box) is written to err followed by a newline.
int KWRunScriptBatch(TKWScriptEngine& engine, const std::string& path, std::ostream& err);
