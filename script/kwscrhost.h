// What the script engine needs from the rest of the program: processors by
// name, the mixer box's placement and choice of documents, the documents
// that image variables refer to with their operations, and a place to show
// messages.  The main program implements it over the processor manager and
// the main window (or, in a batch run, over documents that are never
// shown); the engine itself knows nothing of windows.  Documents are opaque
// handles here: the engine never looks inside a TKWChild.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/types.h"

class TKWProcessor;
class TKWBasicFilter;
class TKWBasicMixer;
class TKWBasicGenerator;
class TKWChild;

// The document actions that scripts run as they are (the edit and
// alpha-channel actions of a document window).
enum class TKWSDocAction {
  Undo,
  Redo,
  Copy,
  Paste,
  ACDisable,
  ACInvert,
  ACCreateFromImage,
  ACCreateHarf,
  ACCopy,
  ACPaste,
};

// A host without documents was asked for one.
class ENoDocuments : public Exception {
 public:
  ENoDocuments() : Exception("この実行環境では画像を扱えません。") {}
};

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

  // An information box with an OK button (modal in the GUI; printed in a batch run).
  virtual void ShowInformation(const std::string& text) = 0;

  // ---- documents ----
  // Whether a document an image variable refers to is still open.  A closed
  // document reads as an empty variable.  Must not dereference doc unless
  // it is one of the open documents.
  virtual bool DocumentAlive(TKWChild* doc) { return doc != nullptr; }
  // The active document, or null when none is open.
  virtual TKWChild* ActiveDocument() { return nullptr; }
  // The open documents: the active one first, then the others in stacking order.
  virtual std::vector<TKWChild*> Documents() { return {}; }
  // The background and foreground documents chosen in the mixer box (either may be null).
  virtual void GetSelectedDocuments(TKWChild*& background, TKWChild*& foreground) {
    background = foreground = nullptr;
  }

  // A new document with the file read into it.  When the file cannot be
  // read the reader's error passes on.
  virtual TKWChild* OpenDocument(const std::string& fileName) { throw ENoDocuments(); }
  // A new document holding a copy of source's current image (no history).
  virtual TKWChild* CloneDocument(TKWChild* source) { throw ENoDocuments(); }
  // A new document whose image the generator makes (0: the size of the new
  // document's first image).
  virtual TKWChild* GenerateDocument(TKWBasicGenerator* generator, int width, int height) {
    throw ENoDocuments();
  }
  // Closes the document without asking to save it.
  virtual void CloseDocument(TKWChild* doc) { throw ENoDocuments(); }

  virtual int DocumentWidth(TKWChild* doc) { throw ENoDocuments(); }
  virtual int DocumentHeight(TKWChild* doc) { throw ENoDocuments(); }

  // Processing steps with the processor's current values (its panel is not read).
  virtual void ApplyFilter(TKWChild* doc, TKWBasicFilter* filter) { throw ENoDocuments(); }
  // foreground's current image mixed onto background's at (x, y).
  virtual void ApplyMixer(TKWChild* background, TKWChild* foreground, TKWBasicMixer* mixer,
                          int32_t x, int32_t y, bool clipping) {
    throw ENoDocuments();
  }

  virtual void SaveDocument(TKWChild* doc, const std::string& fileName) { throw ENoDocuments(); }
  // Opens a file into the document as a new step; a file that cannot be
  // read is reported by the document and changes nothing.
  virtual void OpenInto(TKWChild* doc, const std::string& fileName) { throw ENoDocuments(); }
  virtual void DocumentAction(TKWChild* doc, TKWSDocAction action) { throw ENoDocuments(); }
  virtual void CreateAlphaByValue(TKWChild* doc, uint8_t value) { throw ENoDocuments(); }
  virtual void LoadAlpha(TKWChild* doc, const std::string& fileName) { throw ENoDocuments(); }
  virtual void SaveAlpha(TKWChild* doc, const std::string& fileName) { throw ENoDocuments(); }

  // Repaints the document at once when the option asks for it (after the
  // commands that show their result).
  virtual void RefreshDocument(TKWChild* doc) {}
};
