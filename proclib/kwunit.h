// The package frame: one TKWUnit per processor.  Initialization reads the
// processor's section of the settings file, creates and registers its panel
// and applies the settings and shortcuts; finalization lets the panel go and
// writes the section back.  The package's entry points run the units in the
// order of PackageUnits() and back.
#pragma once

#include <QAction>
#include <QPointer>
#include <memory>
#include <string>
#include <vector>

#include "procdef/multiuserini.h"
#include "proclib/paramtable.h"

namespace kwlib {

// One shortcut key of a section and its default text ("" for none).
struct TKWShortCutKey {
  std::string Key;
  std::string Default;
};

class TKWUnit {
 public:
  TKWUnit(std::string section, std::vector<TKWShortCutKey> shortcuts, bool errorDialog = false);
  virtual ~TKWUnit() = default;

  // Runs once however often it is called before the matching Finalize.
  void Initialize();
  void Finalize();

  const std::string& Section() const { return section_; }
  // The processor was enabled and its panel created.
  bool Created() const { return created_; }
  // The panel hands over its actions' shortcut texts as it is destroyed.
  void RecordShortCuts(const std::vector<std::string>& texts) { recorded_ = texts; }

  // KWDataDir() + "ProcLib/KWPrcLib.ini": beside the package in the program
  // folder, or in the user's data folder for an installed program.
  static std::string SettingsFileName();

 protected:
  virtual void CreatePack() {}
  virtual void FreePack() {}
  virtual void CreatePanel() = 0;
  virtual void RegisterPanel() = 0;
  // Reads the processor keys into the pack and shows them in the panel.
  virtual void ReadSettings(TMultiUserIni& ini) {}
  // Runs after the shortcuts have been assigned.
  virtual void AfterShortCuts() {}
  virtual void WriteSettings(TMultiUserIni& ini) {}
  virtual std::vector<QAction*> MenuActions() = 0;
  // Destroys the panel unless the host already did.
  virtual void DestroyPanel() = 0;

 private:
  void assignShortCuts(TMultiUserIni& ini);

  std::string section_;
  std::vector<TKWShortCutKey> shortcuts_;
  bool errorDialog_;
  std::vector<std::string> recorded_;
  bool created_ = false;
  int count_ = 0;
};

// Text to shortcut ("Ctrl+I"; empty text: no shortcut).  Text that names no
// key raises EConvertError.
QKeySequence TextToShortCut(const std::string& text);
std::string ShortCutToText(const QKeySequence& seq);

// The units of the package in registration order (kwunits.cpp).
std::vector<TKWUnit*>& PackageUnits();

// A unit whose panel class Form brings everything else: Form::Pack (void
// for none), a constructor Form(Pack*, TKWUnit*) (or Form(TKWUnit*)),
// Register(), ApplyParam() and MenuActions().
template <class Form, class Pack>
class TKWFormUnit : public TKWUnit {
 public:
  using TKWUnit::TKWUnit;
  Form* Panel() const { return panel_; }
  Pack* Settings() const { return pack_.get(); }

 protected:
  void CreatePack() override { pack_ = std::make_unique<Pack>(); }
  void FreePack() override { pack_.reset(); }
  void CreatePanel() override { panel_ = new Form(pack_.get(), this); }
  void RegisterPanel() override { panel_->Register(); }
  void ReadSettings(TMultiUserIni& ini) override {
    ReadParams(Pack::Table(), ini, Section(), *pack_);
    panel_->ApplyParam();
  }
  void WriteSettings(TMultiUserIni& ini) override {
    WriteParams(Pack::Table(), ini, Section(), *pack_);
  }
  std::vector<QAction*> MenuActions() override { return panel_->MenuActions(); }
  void DestroyPanel() override { delete panel_.data(); }

  QPointer<Form> panel_;
  std::unique_ptr<Pack> pack_;
};

// The same for processors without parameters.
template <class Form>
class TKWFormUnit<Form, void> : public TKWUnit {
 public:
  using TKWUnit::TKWUnit;
  Form* Panel() const { return panel_; }

 protected:
  void CreatePanel() override { panel_ = new Form(this); }
  void RegisterPanel() override { panel_->Register(); }
  std::vector<QAction*> MenuActions() override { return panel_->MenuActions(); }
  void DestroyPanel() override { delete panel_.data(); }

  QPointer<Form> panel_;
};

}  // namespace kwlib
