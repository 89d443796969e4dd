// TKWProcessorManager: loads the processor packages of the program's
// ProcLib folder, files the processors they register by name, and keeps the
// two keyword tables of the script language.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/stringlist.h"
#include "platform/types.h"
#include "procdef/kwinfo.h"

class QMenu;

// A package that cannot be loaded; the message names the file and the
// loader's reason.
class EPackageError : public Exception {
 public:
  using Exception::Exception;
};

// What the manager needs from the main window and the boxes.  Every member
// may be left unset (a batch run has no boxes and no menus).
struct TKWRegistHooks {
  QMenu* FilterMenu = nullptr;     // miFilter
  QMenu* MixerMenu = nullptr;      // miMixer
  QMenu* GeneratorMenu = nullptr;  // miGenerator
  std::function<void(TFilterInfo*)> AddFilter;        // filter box
  std::function<void(TMixerInfo*)> AddMixer;          // mixer box
  std::function<void(TGeneratorInfo*)> AddGenerator;  // generator box
  TProgressEvent Progress;                            // main window's progress callback
  // Splash window: state text, then advance.
  std::function<void(const std::string&)> SplashState;
};

class TKWProcessorManager {
 public:
  TKWProcessorManager();
  ~TKWProcessorManager();
  TKWProcessorManager(const TKWProcessorManager&) = delete;
  TKWProcessorManager& operator=(const TKWProcessorManager&) = delete;

  // The single manager of the program (created by the program entry).
  static TKWProcessorManager* Instance();

  // The two keyword tables of the script language: keyword -> command object,
  // owned by the manager and freed through KeywordDeleter.
  TStringList Keywords1;
  TStringList Keywords2;
  std::function<void(void*)> KeywordDeleter;

  TStringList Filters;     // name -> TFilterInfo* (not owned)
  TStringList Mixers;      // name -> TMixerInfo* (not owned)
  TStringList Generators;  // name -> TGeneratorInfo* (not owned)

  TKWRegistHooks Hooks;

  // Installs the registration receivers and loads every "*.so" of
  // procLibDir (default: the program folder's ProcLib) in directory order,
  // calling each package's initialization right after loading it.  Raises
  // EPackageError for a file that is not a loadable package; packages
  // loaded before it stay loaded.
  void LoadProcessors(const std::string& procLibDir = std::string());
  // Calls every package's finalization and unloads it, in load order.
  void UnloadPackages();

  void RegistFilter(TFilterInfo* info);
  void RegistMixer(TMixerInfo* info);
  void RegistGenerator(TGeneratorInfo* info);

  // First record of that name, without regard to case; null if none.
  TFilterInfo* FindFilter(const std::string& name) const;
  TMixerInfo* FindMixer(const std::string& name) const;
  TGeneratorInfo* FindGenerator(const std::string& name) const;

  // Files of the loaded packages, in load order.
  const std::vector<std::string>& PackageFiles() const { return packageFiles_; }

  // One line per processor ("filter", name, caption) and per parameter
  // (TAB, name, type), tab-separated: the listing of KW --list.
  std::string ListText() const;

 private:
  std::vector<void*> packages_;
  std::vector<std::string> packageFiles_;
};

const char* ParamTypeName(TKWParamType t);
