// The four mixers as units of the package: registration order and records,
// parameter lists, settings keys and defaults, panels reading and showing
// their values, preview requests, and the average mixer's menu actions.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <filesystem>
#include <fstream>
#include <unistd.h>

#include "platform/inifile.h"
#include "platform/sysutils.h"
#include "procdef/kwinfo.h"
#include "proclib/kwavrgform.h"
#include "proclib/kwdifferform.h"
#include "proclib/kwlgcmixform.h"
#include "proclib/kwovrlapform.h"
#include "proclib/kwunit.h"
#include "ui/messages.h"

using namespace kwlib;
namespace fs = std::filesystem;

extern "C" void KWPackageInitialize();
extern "C" void KWPackageFinalize();

namespace {

class MixerUnits : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() / ("kwmixers_" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir / "ProcLib");
    SetExecutableDir(dir.string() + "/");
    KWSetRegistReceivers(nullptr, [this](TMixerInfo* i) { mixers.push_back(i); }, nullptr);
  }
  void TearDown() override {
    KWSetRegistReceivers(nullptr, nullptr, nullptr);
    fs::remove_all(dir);
  }
  std::string ini() const { return (dir / "ProcLib" / "KWPrcLib.ini").string(); }
  void writeIni(const std::string& text) { std::ofstream(ini(), std::ios::binary) << text; }
  TMixerInfo* find(const std::string& name) {
    for (auto* m : mixers)
      if (m->Name == name) return m;
    return nullptr;
  }
  template <class F>
  F* panel(const std::string& name) {
    return static_cast<F*>(find(name)->Panel);
  }
  void init() {
    mixers.clear();
    KWPackageInitialize();
  }
  void done() { KWPackageFinalize(); }
  // Registers every mixer's preview hook, counting requests.
  void countPreviews() {
    for (auto* m : mixers)
      m->Mixer->OnUpdatePreview = [this](TKWProcessor*, TKWBasicMixer* mx) { previews.push_back(mx->Name); };
  }
  static std::vector<std::pair<std::string, TKWParamType>> params(TKWBasicMixer* m) {
    std::vector<std::pair<std::string, TKWParamType>> out;
    for (int i = 0; i < m->Params.Count(); ++i) out.emplace_back(m->Params.Strings(i), m->Param(i)->ParamType);
    return out;
  }

  fs::path dir;
  std::vector<TMixerInfo*> mixers;
  std::vector<std::string> previews;
};

}  // namespace

TEST_F(MixerUnits, RegisterInOrderWithNamesCaptionsPanelsAndActions) {
  init();
  std::vector<std::string> names, captions, panels, actions;
  for (auto* m : mixers) {
    names.push_back(m->Name);
    captions.push_back(m->Mixer->Caption);
    panels.push_back(m->Panel->windowTitle().toStdString());
    for (QAction* a : *m->ActionList) actions.push_back(a->text().toStdString());
    EXPECT_EQ(m->Mixer->Name, m->Name);
    EXPECT_EQ(m->Version, 2000);
    EXPECT_EQ(m->Mixer->Genre, TKWProcessorGenre::pgMixer);
    EXPECT_TRUE(bool(m->Regist));
  }
  EXPECT_EQ(names, (std::vector<std::string>{"Overlap", "LogicalOperate", "Average", "Differ"}));
  EXPECT_EQ(captions, (std::vector<std::string>{"重ね合わせ", "論理演算による合成", "平均値による合成", "差分"}));
  EXPECT_EQ(panels, (std::vector<std::string>{"重ね合わせ", "論理演算", "平均", "差分"}));
  EXPECT_EQ(actions, (std::vector<std::string>{"actKWOverlap", "論理演算(&L)", "平均(&E)", "重み付き平均(&W)",
                                               "2乗平均(&S)", "差分"}));
  done();
}

TEST_F(MixerUnits, ParameterListsInOrderWithTypes) {
  init();
  using P = std::vector<std::pair<std::string, TKWParamType>>;
  const auto I = TKWParamType::ptInteger, B = TKWParamType::ptBoolean;
  P overlap;
  for (const char* c : {"R", "G", "B"}) {
    overlap.emplace_back(std::string(c) + "_Low", I);
    overlap.emplace_back(std::string(c) + "_Hight", I);
    overlap.emplace_back(std::string(c) + "_Inv", B);
    overlap.emplace_back(std::string(c) + "_Smooth", B);
  }
  EXPECT_EQ(params(find("Overlap")->Mixer), overlap);
  EXPECT_EQ(params(find("LogicalOperate")->Mixer), (P{{"Operation", I}}));
  EXPECT_EQ(params(find("Average")->Mixer), (P{{"Mode", I}, {"BGWait", I}, {"FGWait", I}}));
  EXPECT_EQ(params(find("Differ")->Mixer), P{});
  // A value set through an entry is the one the next run uses.
  TKWBasicMixer* avg = find("Average")->Mixer;
  avg->Param(2)->SetInteger(3);
  std::unique_ptr<TKWParamPack> pack(avg->CreateParamPack());
  EXPECT_EQ(static_cast<TAveragePack*>(pack.get())->FGWait, 3);
  done();
}

TEST_F(MixerUnits, FirstStartDefaultsAreWrittenBackAsKeys) {
  init();
  auto* ov = panel<TKWOverlapForm>("Overlap");
  EXPECT_EQ(ov->edrRedLow->text(), "0");
  EXPECT_EQ(ov->edrBlueHigh->text(), "127");
  EXPECT_FALSE(ov->cbGreenSmooth->isChecked());
  EXPECT_EQ(panel<TKWAverageForm>("Average")->edrFGWait->text(), "1");
  EXPECT_EQ(panel<TKWAverageForm>("Average")->rgOpMode->ItemIndex(), 0);
  EXPECT_EQ(panel<TKWLogicalMixerForm>("LogicalOperate")->rgOperator->ItemIndex(), 0);
  done();
  TMemIniFile f(ini());
  const std::string user = LoggedOnUserName();
  const std::string pre = user.empty() ? "" : user + ".";
  for (const char* k : {"R_Low", "G_Low", "B_Low"}) EXPECT_EQ(f.ReadString(pre + "KWOverlap", k, "?"), "0");
  for (const char* k : {"R_Hight", "G_Hight", "B_Hight"}) EXPECT_EQ(f.ReadString(pre + "KWOverlap", k, "?"), "127");
  for (const char* k : {"R_Inv", "G_Inv", "B_Inv", "R_Smooth", "G_Smooth", "B_Smooth"})
    EXPECT_EQ(f.ReadString(pre + "KWOverlap", k, "?"), "0");
  EXPECT_EQ(f.ReadString(pre + "LogicalOperate", "Operation", "?"), "0");
  EXPECT_EQ(f.ReadString(pre + "Average", "Mode", "?"), "0");
  EXPECT_EQ(f.ReadString(pre + "Average", "BGWait", "?"), "1");
  EXPECT_EQ(f.ReadString(pre + "Average", "FGWait", "?"), "1");
  for (const char* k : {"ShortCut1", "ShortCut2", "ShortCut3"}) EXPECT_EQ(f.ReadString(pre + "Average", k, "?"), "");
  EXPECT_FALSE(f.ValueExists(pre + "Average", "ShortCut"));
  EXPECT_EQ(f.ReadString(pre + "KWDiffer", "ShortCut", "?"), "");
  EXPECT_FALSE(f.ValueExists(pre + "KWDiffer", "Enable"));
}

TEST_F(MixerUnits, SettingsShowInPanelsAndPanelChangesSurviveARestart) {
  writeIni(
      "[KWOverlap]\r\nR_Low=10\r\nR_Hight=300\r\nG_Inv=1\r\nB_Smooth=1\r\n"
      "[LogicalOperate]\r\nOperation=2\r\n[Average]\r\nMode=3\r\nBGWait=4\r\nShortCut2=Ctrl+Shift+W\r\n"
      "[KWDiffer]\r\nEnable=0\r\n");
  init();
  EXPECT_EQ(find("Differ"), nullptr);
  auto* ov = panel<TKWOverlapForm>("Overlap");
  EXPECT_EQ(ov->edrRedLow->text(), "10");
  EXPECT_EQ(ov->edrRedHigh->text(), "300");  // shown as read; the up-down stops at 255
  EXPECT_EQ(ov->udRedHigh->Position(), 255);
  EXPECT_TRUE(ov->cbGreenInv->isChecked());
  EXPECT_TRUE(ov->cbBlueSmooth->isChecked());
  EXPECT_EQ(panel<TKWLogicalMixerForm>("LogicalOperate")->rgOperator->ItemIndex(), 2);
  auto* av = panel<TKWAverageForm>("Average");
  EXPECT_EQ(av->rgOpMode->ItemIndex(), -1);  // mode 3 has no item
  EXPECT_EQ(av->edrBGWait->text(), "4");
  EXPECT_EQ(av->actWeitedAverage->shortcut().toString(QKeySequence::PortableText), "Ctrl+Shift+W");
  // Fields that are not numbers read as 0 (overlap) and 1 (average).
  ov->edrGreenHigh->setText("");
  av->edrFGWait->setText("-");
  av->rgOpMode->SetItemIndex(1);
  find("Overlap")->Mixer->UpdateParam();
  find("Average")->Mixer->UpdateParam();
  done();
  init();
  ov = panel<TKWOverlapForm>("Overlap");
  av = panel<TKWAverageForm>("Average");
  EXPECT_EQ(ov->edrGreenHigh->text(), "0");
  EXPECT_EQ(av->edrFGWait->text(), "1");
  EXPECT_EQ(av->rgOpMode->ItemIndex(), 1);
  EXPECT_EQ(av->actWeitedAverage->shortcut().toString(QKeySequence::PortableText), "Ctrl+Shift+W");
  done();
  TMemIniFile f(ini());
  const std::string user = LoggedOnUserName();
  EXPECT_FALSE(f.SectionExists((user.empty() ? "" : user + ".") + "KWDiffer"));
}

TEST_F(MixerUnits, AverageActionsRunTheirModeOnceAndKeepThePanel) {
  init();
  auto* av = panel<TKWAverageForm>("Average");
  TKWBasicMixer* mixer = find("Average")->Mixer;
  std::vector<int> seenModes;
  std::vector<TKWBasicMixer*> activated;
  find("Average")->Regist(
      new QWidget, [&](TKWBasicMixer* m) { activated.push_back(m); },
      [&](QObject* sender) {
        // The host reads the panel first, as it does when it applies.
        mixer->UpdateParam();
        seenModes.push_back(static_cast<TAveragePack*>(std::unique_ptr<TKWParamPack>(mixer->CreateParamPack()).get())->Mode);
        EXPECT_TRUE(qobject_cast<QAction*>(sender));
      });
  av->rgOpMode->SetItemIndex(2);
  av->actAverage->trigger();
  av->actWeitedAverage->trigger();
  av->actMeanSqr->trigger();
  EXPECT_EQ(seenModes, (std::vector<int>{0, 1, 2}));
  EXPECT_EQ(av->rgOpMode->ItemIndex(), 2);
  ASSERT_GE(activated.size(), 3u);
  EXPECT_EQ(activated.back(), mixer);
  // The other mixers' actions activate and execute too.
  int runs = 0;
  find("LogicalOperate")->Regist(new QWidget, [](TKWBasicMixer*) {}, [&](QObject*) { ++runs; });
  (*find("LogicalOperate")->ActionList)[0]->trigger();
  EXPECT_EQ(runs, 1);
  done();
}

TEST_F(MixerUnits, ControlsRequestPreviews) {
  init();
  IsLoadComplete = true;
  countPreviews();
  auto* ov = panel<TKWOverlapForm>("Overlap");
  ov->cbRedSmooth->click();
  EXPECT_EQ(previews.size(), 1u);
  QKeyEvent enter(QEvent::KeyRelease, Qt::Key_Return, Qt::NoModifier);
  QApplication::sendEvent(ov->edrGreenLow, &enter);
  EXPECT_EQ(previews.size(), 2u);
  QKeyEvent other(QEvent::KeyRelease, Qt::Key_5, Qt::NoModifier, "5");
  QApplication::sendEvent(ov->edrGreenLow, &other);
  EXPECT_EQ(previews.size(), 2u);
  QFocusEvent out(QEvent::FocusOut);
  QApplication::sendEvent(ov->edrBlueHigh, &out);
  EXPECT_EQ(previews.size(), 3u);
  auto* av = panel<TKWAverageForm>("Average");
  av->edrBGWait->setText("7");
  EXPECT_EQ(previews.size(), 4u);
  EXPECT_EQ(previews.back(), "Average");
  // Showing settings in the panels asks for nothing.
  previews.clear();
  static_cast<TKWAverageForm*>(find("Average")->Panel)->ApplyParam();
  ov->ApplyParam();
  EXPECT_TRUE(previews.empty());
  done();
}
