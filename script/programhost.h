// The script engine's host in the program: processors from the processor
// manager's lists, message boxes through the program's message function
// (printed in a batch run), and hooks for the mixer box and the documents.
#pragma once

#include <functional>
#include <string>

#include "script/kwscrengine.h"

class TKWProcessorManager;

class TKWProgramScriptHost : public TKWScriptHost {
 public:
  explicit TKWProgramScriptHost(TKWProcessorManager* manager) : manager_(manager) {}

  // Placement of the mixer box (unset: 0, 0, no clipping).
  std::function<void(int32_t&, int32_t&, bool&)> MixerSettings;
  // Whether a document is still open (unset: every non-null document).
  std::function<bool(TKWChild*)> IsDocumentOpen;

  TKWBasicFilter* FindFilter(const std::string& name) override;
  TKWBasicMixer* FindMixer(const std::string& name) override;
  TKWBasicGenerator* FindGenerator(const std::string& name) override;
  void GetMixerSettings(int32_t& originX, int32_t& originY, bool& clipping) override;
  bool DocumentAlive(TKWChild* doc) override;
  void ShowInformation(const std::string& text) override;

 private:
  TKWProcessorManager* manager_;
};

// The engine's keyword tables live in the manager: the deleter it calls for
// every command object at program end.
void KWSDeleteCommand(void* command);

// KW --run: runs the file with the manager's processors, message boxes on
// the console (errors to stderr, information to stdout, questions answered
// No).  Returns the exit code (0 ran to its end, 1 stopped on an error with
// the message on stderr).  The caller has created the application object and
// loaded the processors.
int KWRunScriptCommandLine(TKWProcessorManager& manager, const std::string& path);
