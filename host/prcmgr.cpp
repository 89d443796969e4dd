#include "host/prcmgr.h"

#include <dlfcn.h>

#include <QAction>
#include <QMenu>

#include "platform/sysutils.h"

namespace {
TKWProcessorManager* gInstance = nullptr;

void addActions(QMenu* menu, const TActionList* actions) {
  if (!menu || !actions) return;
  for (QAction* a : *actions)
    if (a) menu->addAction(a);
}

// Turns every parameter name of the processor's list to upper case.
void upperParams(TKWProcessor* p) {
  if (!p) return;
  TStringList* list = p->GetParams(nullptr);
  for (int i = 0; list && i < list->Count(); ++i) list->SetString(i, UpperCase(list->Strings(i)));
}
}  // namespace

const char* ParamTypeName(TKWParamType t) {
  switch (t) {
    case TKWParamType::ptBoolean: return "boolean";
    case TKWParamType::ptInteger: return "integer";
    case TKWParamType::ptSingle: return "single";
    case TKWParamType::ptDouble: return "double";
    case TKWParamType::ptString: return "string";
  }
  return "unknown";
}

TKWProcessorManager::TKWProcessorManager() {
  if (!gInstance) gInstance = this;
}

TKWProcessorManager::~TKWProcessorManager() {
  for (TStringList* t : {&Keywords1, &Keywords2}) {
    if (KeywordDeleter)
      for (int i = 0; i < t->Count(); ++i) KeywordDeleter(t->Objects(i));
    t->Clear();
  }
  Filters.Clear();
  Mixers.Clear();
  Generators.Clear();
  UnloadPackages();
  if (gInstance == this) gInstance = nullptr;
}

TKWProcessorManager* TKWProcessorManager::Instance() { return gInstance; }

void TKWProcessorManager::LoadProcessors(const std::string& procLibDir) {
  KWSetRegistReceivers(
      [this](TFilterInfo* i) {
        if (Hooks.SplashState) Hooks.SplashState("Loading " + i->Name + " ...");
        RegistFilter(i);
      },
      [this](TMixerInfo* i) {
        if (Hooks.SplashState) Hooks.SplashState("Loading " + i->Name + " ...");
        RegistMixer(i);
      },
      [this](TGeneratorInfo* i) {
        if (Hooks.SplashState) Hooks.SplashState("Loading " + i->Name + " ...");
        RegistGenerator(i);
      });

  std::string dir = procLibDir.empty() ? ExecutableDir() + "ProcLib/" : procLibDir;
  if (!dir.empty() && dir.back() != '/') dir += '/';
  for (const TSearchRec& rec : FindFiles(dir + "*.so")) {
    if (rec.Directory) continue;
    std::string path = dir + rec.Name;
    void* h = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!h) {
      const char* why = dlerror();
      throw EPackageError("パッケージを読み込めません: " + path + "\n" + (why ? why : ""));
    }
    auto init = reinterpret_cast<TKWPackageEntry>(dlsym(h, KW_PACKAGE_INIT_SYMBOL));
    if (!init) {
      dlclose(h);
      throw EPackageError("パッケージを読み込めません: " + path + "\n" +
                          KW_PACKAGE_INIT_SYMBOL + " がありません。");
    }
    packages_.push_back(h);
    packageFiles_.push_back(path);
    init();
  }
  // Keyword tables are matched in upper case.
  for (TStringList* t : {&Keywords1, &Keywords2})
    for (int i = 0; i < t->Count(); ++i) t->SetString(i, UpperCase(t->Strings(i)));
}

void TKWProcessorManager::UnloadPackages() {
  // Nothing may reach the packages' registration any more.
  if (!packages_.empty()) KWSetRegistReceivers(nullptr, nullptr, nullptr);
  for (void* h : packages_) {
    auto done = reinterpret_cast<TKWPackageEntry>(dlsym(h, KW_PACKAGE_DONE_SYMBOL));
    if (done) done();
  }
  for (void* h : packages_) dlclose(h);
  packages_.clear();
  packageFiles_.clear();
}

void TKWProcessorManager::RegistFilter(TFilterInfo* info) {
  if (info->Version != kKWInterfaceVersion) return;
  Filters.AddObject(info->Name, info);
  addActions(Hooks.FilterMenu, info->ActionList);
  if (Hooks.AddFilter) Hooks.AddFilter(info);
  if (info->Filter) info->Filter->SetProgress(Hooks.Progress);
  info->Name = UpperCase(info->Name);
  upperParams(info->Filter);
}

void TKWProcessorManager::RegistMixer(TMixerInfo* info) {
  if (info->Version != kKWInterfaceVersion) return;
  Mixers.AddObject(info->Name, info);
  addActions(Hooks.MixerMenu, info->ActionList);
  if (Hooks.AddMixer) Hooks.AddMixer(info);
  if (info->Mixer) info->Mixer->SetProgress(Hooks.Progress);
  info->Name = UpperCase(info->Name);
  upperParams(info->Mixer);
}

void TKWProcessorManager::RegistGenerator(TGeneratorInfo* info) {
  if (info->Version != kKWInterfaceVersion) return;
  Generators.AddObject(info->Name, info);
  addActions(Hooks.GeneratorMenu, info->ActionList);
  if (Hooks.AddGenerator) Hooks.AddGenerator(info);
  if (info->Generator) info->Generator->SetProgress(Hooks.Progress);
  info->Name = UpperCase(info->Name);
  upperParams(info->Generator);
}

TFilterInfo* TKWProcessorManager::FindFilter(const std::string& name) const {
  int i = Filters.IndexOf(name);
  return i < 0 ? nullptr : Filters.ObjectAs<TFilterInfo>(i);
}

TMixerInfo* TKWProcessorManager::FindMixer(const std::string& name) const {
  int i = Mixers.IndexOf(name);
  return i < 0 ? nullptr : Mixers.ObjectAs<TMixerInfo>(i);
}

TGeneratorInfo* TKWProcessorManager::FindGenerator(const std::string& name) const {
  int i = Generators.IndexOf(name);
  return i < 0 ? nullptr : Generators.ObjectAs<TGeneratorInfo>(i);
}

std::string TKWProcessorManager::ListText() const {
  std::string out;
  auto line = [&out](const char* kind, const std::string& name, TKWProcessor* p) {
    out += std::string(kind) + "\t" + name + "\t" + (p ? p->Caption : std::string()) + "\n";
    if (!p) return;
    // The entries as registered; the panel's values are not read here.
    for (int i = 0; i < p->Params.Count(); ++i)
      out += "\t" + p->Params.Strings(i) + "\t" + ParamTypeName(p->Param(i)->ParamType) + "\n";
  };
  for (int i = 0; i < Filters.Count(); ++i)
    line("filter", Filters.Strings(i), Filters.ObjectAs<TFilterInfo>(i)->Filter);
  for (int i = 0; i < Mixers.Count(); ++i)
    line("mixer", Mixers.Strings(i), Mixers.ObjectAs<TMixerInfo>(i)->Mixer);
  for (int i = 0; i < Generators.Count(); ++i)
    line("generator", Generators.Strings(i), Generators.ObjectAs<TGeneratorInfo>(i)->Generator);
  return out;
}
