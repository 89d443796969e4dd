// TKWProgram: the program as the start-up sequence builds it: the processor
// manager, the script engine, the main window with its boxes and the script
// editor, created in their order while the splash window counts along, and
// the packages loaded into them.
#pragma once

#include <QImage>
#include <functional>
#include <memory>
#include <string>

#include "host/prcmgr.h"

class QString;
class TFilterBox;
class TGeneratorBox;
class TMixerBox;
class TKWParent;
class TKWProgramScriptHost;
class TKWScriptEngine;
class TKWSplash;
class TScriptEditor;

class TKWProgram {
 public:
  TKWProgram();
  // Unloads the packages (their panels go first), then frees the windows.
  ~TKWProgram();

  // Creates the windows in order, announcing each on the splash window
  // (null: none), then loads the packages of procLibDir (default: the
  // program folder's ProcLib).  Raises EPackageError from loading.
  void Start(TKWSplash* splash, const std::string& procLibDir = std::string());

  TKWProcessorManager& Manager() { return mgr_; }
  TKWScriptEngine& Engine() { return *engine_; }
  TKWParent* MainWindow() const { return mainWindow_; }
  TFilterBox* FilterBox() const;
  TMixerBox* MixerBox() const { return mixerBox_; }
  TGeneratorBox* GeneratorBox() const { return generatorBox_; }
  TScriptEditor* ScriptEditor() const { return editor_; }

  // The 320 x 240 picture of the splash window and of new documents.
  static QImage LogoImage();

 private:
  TKWProcessorManager mgr_;
  std::unique_ptr<TKWProgramScriptHost> scriptHost_;
  std::unique_ptr<TKWScriptEngine> engine_;
  TKWParent* mainWindow_ = nullptr;
  TMixerBox* mixerBox_ = nullptr;
  TGeneratorBox* generatorBox_ = nullptr;
  TScriptEditor* editor_ = nullptr;
};
