// What the script engine needs from the rest of the program: processors by
// name, the mixer box's placement, the documents that image variables refer
// to, and a place to show messages.  The main program implements it over the
// processor manager and the main window; a batch run implements the message
// part on the console.  The engine itself knows nothing of windows.
#pragma once

#include <cstdint>
#include <string>

class TKWProcessor;
class TKWBasicFilter;
class TKWBasicMixer;
class TKWBasicGenerator;
class TKWChild;

class TKWScriptHost {
 public:
  virtual ~TKWScriptHost() = default;

  // Registered processors by name (case-insensitive, first registered wins);
  // null when the list has no such name.
  virtual TKWBasicFilter* FindFilter(const std::string& name) { return nullptr; }
  virtual TKWBasicMixer* FindMixer(const std::string& name) { return nullptr; }
  virtual TKWBasicGenerator* FindGenerator(const std::string& name) { return nullptr; }
  // The filter list first, then the mixers, then the generators.
  virtual TKWProcessor* FindProcessor(const std::string& name);

  // The placement currently set in the mixer box; a run starts from it.
  virtual void GetMixerSettings(int32_t& originX, int32_t& originY, bool& clipping) {
    originX = 0;
    originY = 0;
    clipping = false;
  }

  // Whether a document an image variable refers to is still open.  A closed
  // document reads as an empty variable.
  virtual bool DocumentAlive(TKWChild* doc) { return doc != nullptr; }

  // An information box with an OK button (modal in the GUI; printed in a batch run).
  virtual void ShowInformation(const std::string& text) = 0;
};
