#include "proclib/kwunit.h"

#include <QKeySequence>

#include "platform/sysutils.h"
#include "procdef/kwdatadir.h"
#include "procdef/kwproc.h"
#include "ui/messages.h"

namespace kwlib {

TKWUnit::TKWUnit(std::string section, std::vector<TKWShortCutKey> shortcuts, bool errorDialog)
    : section_(std::move(section)), shortcuts_(std::move(shortcuts)), errorDialog_(errorDialog) {}

std::string TKWUnit::SettingsFileName() { return KWDataDir() + "ProcLib/KWPrcLib.ini"; }

QKeySequence TextToShortCut(const std::string& text) {
  if (text.empty()) return QKeySequence();
  QKeySequence seq = QKeySequence::fromString(QString::fromStdString(text), QKeySequence::PortableText);
  if (seq.isEmpty() || seq.count() != 1 || seq[0].key() == Qt::Key_unknown)
    throw EConvertError("\"" + text + "\" is not a valid shortcut");
  return seq;
}

std::string ShortCutToText(const QKeySequence& seq) {
  return seq.toString(QKeySequence::PortableText).toStdString();
}

void TKWUnit::assignShortCuts(TMultiUserIni& ini) {
  std::vector<QAction*> actions = MenuActions();
  try {
    // The first failure ends the assignment (later actions keep theirs).
    for (size_t i = 0; i < shortcuts_.size() && i < actions.size(); ++i) {
      std::string text = ini.ReadString(section_, shortcuts_[i].Key, shortcuts_[i].Default);
      actions[i]->setShortcut(TextToShortCut(text));
    }
  } catch (const std::exception& e) {
    if (errorDialog_) ShowError(std::string("ショートカットキーの割り当てに失敗しました。\r\n") + e.what());
  }
}

void TKWUnit::Initialize() {
  if (count_++ > 0) return;
  IsLoadComplete = false;
  struct Done {
    ~Done() { IsLoadComplete = true; }
  } done;
  created_ = false;
  recorded_.clear();
  CreatePack();
  TMultiUserIni ini(SettingsFileName());
  if (!ini.ReadBool(section_, "Enable", true)) return;
  CreatePanel();
  created_ = true;
  RegisterPanel();
  ReadSettings(ini);
  assignShortCuts(ini);
  AfterShortCuts();
}

void TKWUnit::Finalize() {
  if (count_ == 0 || --count_ > 0) return;
  // The panel records its shortcuts and brings the pack up to date as it
  // goes (unless the host has destroyed it already, which did the same).
  if (created_) DestroyPanel();
  if (created_) {
    // In the user's data folder the ProcLib folder appears with the first write.
    if (KWSettingsWritable()) ForceDirectories(ExtractFilePath(SettingsFileName()));
    TMultiUserIni ini(SettingsFileName());
    WriteSettings(ini);
    for (size_t i = 0; i < shortcuts_.size(); ++i)
      ini.WriteString(section_, shortcuts_[i].Key, i < recorded_.size() ? recorded_[i] : std::string());
  }
  created_ = false;
  FreePack();
}

}  // namespace kwlib
