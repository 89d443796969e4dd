// The script engine's host in the program: processors from the processor
// manager's lists, message boxes through the program's message function
// (printed in a batch run), the mixer box's placement and choice, and the
// documents with their operations, over the main window or, in a batch run,
// over documents that exist without being shown.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include <QList>
#include <QPointer>

#include "document/kwchild.h"
#include "document/kwparent.h"
#include "script/kwscrengine.h"

class TKWProcessorManager;

// Where a script's documents live and how new ones are made.
class TKWScriptDocuments {
 public:
  virtual ~TKWScriptDocuments() = default;
  // A new document made as the main window makes them (events, dialogs,
  // undo limit); it becomes the active one.
  virtual TKWChild* CreateDocument() = 0;
  virtual TKWChild* Active() = 0;
  // The open documents, the active one first, then the others in stacking order.
  virtual std::vector<TKWChild*> Documents() = 0;
  // Called after a document closed (it is freed at once, so that a script
  // that opens and closes many files does not keep their images).
  virtual void Closed(TKWChild* doc) = 0;
  // Whether doc (which may have been freed: it is only compared) is one of
  // the open documents.
  virtual bool Contains(TKWChild* doc);
};

// The documents of a main window.
class TKWMainWindowDocuments : public TKWScriptDocuments {
 public:
  explicit TKWMainWindowDocuments(TKWParent* parent) : parent_(parent) {}
  TKWChild* CreateDocument() override;
  TKWChild* Active() override;
  std::vector<TKWChild*> Documents() override;
  void Closed(TKWChild* doc) override;
  TKWParent* MainWindow() const { return parent_; }

 private:
  QPointer<TKWParent> parent_;
};

// Documents of a batch run: never shown, kept in activation order (the
// newest first); freed with the container.
class TKWBatchDocuments : public TKWScriptDocuments {
 public:
  TKWBatchDocuments() = default;
  ~TKWBatchDocuments() override;
  TKWChild* CreateDocument() override;
  TKWChild* Active() override;
  std::vector<TKWChild*> Documents() override;
  void Closed(TKWChild* doc) override;
  bool Contains(TKWChild* doc) override;

 private:
  QList<QPointer<TKWChild>> docs_;
  // The same documents, for lookups by address (guarded: one that was freed
  // some other way reads as null).
  std::unordered_map<TKWChild*, QPointer<TKWChild>> open_;
};

class TKWProgramScriptHost : public TKWScriptHost {
 public:
  explicit TKWProgramScriptHost(TKWProcessorManager* manager) : manager_(manager) {}

  // Placement of the mixer box (unset: 0, 0, no clipping).
  std::function<void(int32_t&, int32_t&, bool&)> MixerSettings;
  // Background and foreground documents chosen in the mixer box (unset: none).
  std::function<void(TKWChild*&, TKWChild*&)> SelectedDocuments;

  // The documents scripts work on.  Unset: those of the program's main
  // window (found among the top-level windows when first needed).
  void SetDocuments(TKWScriptDocuments* documents) { documents_ = documents; }
  void SetMainWindow(TKWParent* mainWindow);

  TKWBasicFilter* FindFilter(const std::string& name) override;
  TKWBasicMixer* FindMixer(const std::string& name) override;
  TKWBasicGenerator* FindGenerator(const std::string& name) override;
  void GetMixerSettings(int32_t& originX, int32_t& originY, bool& clipping) override;
  void ShowInformation(const std::string& text) override;

  bool DocumentAlive(TKWChild* doc) override;
  TKWChild* ActiveDocument() override;
  std::vector<TKWChild*> Documents() override;
  void GetSelectedDocuments(TKWChild*& background, TKWChild*& foreground) override;
  TKWChild* OpenDocument(const std::string& fileName) override;
  TKWChild* CloneDocument(TKWChild* source) override;
  TKWChild* GenerateDocument(TKWBasicGenerator* generator, int width, int height) override;
  void CloseDocument(TKWChild* doc) override;
  int DocumentWidth(TKWChild* doc) override;
  int DocumentHeight(TKWChild* doc) override;
  void ApplyFilter(TKWChild* doc, TKWBasicFilter* filter) override;
  void ApplyMixer(TKWChild* background, TKWChild* foreground, TKWBasicMixer* mixer, int32_t x,
                  int32_t y, bool clipping) override;
  void SaveDocument(TKWChild* doc, const std::string& fileName) override;
  void OpenInto(TKWChild* doc, const std::string& fileName) override;
  void DocumentAction(TKWChild* doc, TKWSDocAction action) override;
  void CreateAlphaByValue(TKWChild* doc, uint8_t value) override;
  void LoadAlpha(TKWChild* doc, const std::string& fileName) override;
  void SaveAlpha(TKWChild* doc, const std::string& fileName) override;
  void RefreshDocument(TKWChild* doc) override;

 private:
  TKWScriptDocuments& docs();

  TKWProcessorManager* manager_;
  TKWScriptDocuments* documents_ = nullptr;
  std::unique_ptr<TKWMainWindowDocuments> mainWindowDocs_;
};

// The engine's keyword tables live in the manager: the deleter it calls for
// every command object at program end.
void KWSDeleteCommand(void* command);

// KW --run: runs the file with the manager's processors on documents that
// are never shown; message boxes on the console (errors to stderr,
// information to stdout, questions answered No).  Settings are read, never
// written; no resume data is read or written; swap files go to a folder of
// the run's own, removed at the end.  Returns the exit code (0 ran to its
// end, 1 stopped on an error with the message on stderr).  The caller has
// created the application object and loaded the processors.
int KWRunScriptCommandLine(TKWProcessorManager& manager, const std::string& path,
                           const std::vector<std::string>& arguments = {});
