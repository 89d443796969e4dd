// Registration records through which a package announces its processors,
// the callbacks they carry, the registration entry of the host, and the key
// helpers for numeric entry fields.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "procdef/kwprcdef_api.h"
#include "procdef/kwproc.h"

// Panels, dock sites and actions are widgets of the GUI toolkit; the
// framework only carries pointers to them.
class QWidget;
class QAction;
class QObject;

using TActionList = std::vector<QAction*>;
using TNotifyEvent = std::function<void(QObject* Sender)>;

using TFilterActiveProc = std::function<void(TKWBasicFilter* Filter)>;
using TMixerActiveProc = std::function<void(TKWBasicMixer* Mixer)>;
using TGeneratorActiveProc = std::function<void(TKWBasicGenerator* Generator)>;

using TFilterRegistCallBack =
    std::function<void(QWidget* Site, const TFilterActiveProc& SetFilter, const TNotifyEvent& ExecProc)>;
using TMixerRegistCallBack =
    std::function<void(QWidget* Site, const TMixerActiveProc& SetMixer, const TNotifyEvent& ExecProc)>;
using TGeneratorRegistCallBack = std::function<void(
    QWidget* Site, const TGeneratorActiveProc& SetGenerator, const TNotifyEvent& ExecProc)>;

constexpr int32_t kKWInterfaceVersion = 2000;

class KWPRCDEF_API TFilterInfo {
 public:
  std::string Name;
  TKWBasicFilter* Filter = nullptr;
  QWidget* Panel = nullptr;
  TActionList* ActionList = nullptr;
  TFilterRegistCallBack Regist;
  int32_t Version = kKWInterfaceVersion;
};

class KWPRCDEF_API TMixerInfo {
 public:
  std::string Name;
  TKWBasicMixer* Mixer = nullptr;
  QWidget* Panel = nullptr;
  TActionList* ActionList = nullptr;
  TMixerRegistCallBack Regist;
  int32_t Version = kKWInterfaceVersion;
};

class KWPRCDEF_API TGeneratorInfo {
 public:
  int32_t Version = kKWInterfaceVersion;
  std::string Name;
  TActionList* ActionList = nullptr;
  QWidget* Panel = nullptr;
  TGeneratorRegistCallBack Regist;
  TKWBasicGenerator* Generator = nullptr;
};

using TKWFilterRegistMethod = std::function<void(TFilterInfo* FilterInfo)>;
using TKWMixerRegistMethod = std::function<void(TMixerInfo* MixerInfo)>;
using TKWGeneratorRegistMethod = std::function<void(TGeneratorInfo* GeneratorInfo)>;

// The host's receiving side of registration: the main window installs one
// receiver per kind.  A package calls KWRegistFilter (and the other two)
// during its initialization; the call is synchronous, and a call made while
// no receiver is installed is ignored.
KWPRCDEF_API void KWSetRegistReceivers(TKWFilterRegistMethod filter, TKWMixerRegistMethod mixer,
                                       TKWGeneratorRegistMethod generator);
KWPRCDEF_API void KWRegistFilter(TFilterInfo* info);
KWPRCDEF_API void KWRegistMixer(TMixerInfo* info);
KWPRCDEF_API void KWRegistGenerator(TGeneratorInfo* info);

// Key-press filters of numeric entry fields: keep backspace (8), '-' and the
// digits (ValueKey also '.'); every other character becomes 0.
KWPRCDEF_API char16_t IntKey(char16_t& Key);
KWPRCDEF_API char16_t ValueKey(char16_t& Key);

// Entry points every package exports with C linkage: called by the
// processor manager right after loading the package and right before
// unloading it.
#define KW_PACKAGE_INIT_SYMBOL "KWPackageInitialize"
#define KW_PACKAGE_DONE_SYMBOL "KWPackageFinalize"
extern "C" {
typedef void (*TKWPackageEntry)();
}
