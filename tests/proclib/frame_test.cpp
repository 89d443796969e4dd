// The package frame with the settings file: registration order, defaults,
// the Enable key, shortcuts, per-user sections and writing back.
#include <gtest/gtest.h>

#include <QAction>
#include <filesystem>
#include <fstream>

#include "platform/inifile.h"
#include "platform/sysutils.h"
#include "procdef/kwinfo.h"
#include "proclib/kwbinclrform.h"
#include "proclib/kwgammaform.h"
#include "proclib/kwrgbform.h"
#include "proclib/kwselectform.h"
#include "proclib/kwunit.h"
#include "ui/messages.h"

using namespace kwlib;
namespace fs = std::filesystem;

extern "C" void KWPackageInitialize();
extern "C" void KWPackageFinalize();

namespace {

class Frame : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() / ("kwframe_" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir / "ProcLib");
    SetExecutableDir(dir.string() + "/");
    KWSetRegistReceivers([this](TFilterInfo* i) { filters.push_back(i); }, nullptr, nullptr);
    old = SetMessageHandler([this](TMsgKind k, const std::string&, const std::string& t, bool) {
      messages.push_back(t);
      return TMsgResult::Ok;
    });
  }
  void TearDown() override {
    KWSetRegistReceivers(nullptr, nullptr, nullptr);
    SetMessageHandler(old);
    fs::remove_all(dir);
  }
  std::string ini() const { return (dir / "ProcLib" / "KWPrcLib.ini").string(); }
  void writeIni(const std::string& text) { std::ofstream(ini(), std::ios::binary) << text; }
  TFilterInfo* find(const std::string& name) {
    for (auto* f : filters)
      if (f->Name == name) return f;
    return nullptr;
  }
  static std::string shortcut(TFilterInfo* i) {
    return ShortCutToText((*i->ActionList)[0]->shortcut());
  }
  void init() {
    filters.clear();
    KWPackageInitialize();
  }
  void done() { KWPackageFinalize(); }

  fs::path dir;
  std::vector<TFilterInfo*> filters;
  std::vector<std::string> messages;
  TMessageHandler old;
};

// The package entry points are linked here from the package source.
}  // namespace

TEST_F(Frame, FirstStartRegistersInOrderWithDefaultsAndWritesEverySection) {
  init();
  std::vector<std::string> names;
  for (auto* f : filters) names.push_back(f->Name);
  // Every filter of the package in table order; the units built so far
  // register a subsequence of it that holds at least these seven.
  const std::vector<std::string> order = {"NegativeColor", "GrayScale", "Mask",     "Median",
                                          "MinMax",        "BinClr",    "KWRGB",    "Selector",
                                          "HistFlat",      "Resize",    "AxisOperate", "Affine",
                                          "Poler",         "Gamma"};
  size_t at = 0;
  for (const auto& n : names) {
    while (at < order.size() && order[at] != n) ++at;
    EXPECT_LT(at, order.size()) << n << " out of order";
  }
  for (const char* n : {"NegativeColor", "GrayScale", "BinClr", "KWRGB", "Selector", "HistFlat", "Gamma"})
    EXPECT_NE(find(n), nullptr) << n;
  EXPECT_TRUE(IsLoadComplete);
  EXPECT_EQ(shortcut(find("NegativeColor")), "Ctrl+I");
  EXPECT_EQ(shortcut(find("GrayScale")), "Ctrl+G");
  EXPECT_EQ(shortcut(find("KWRGB")), "Ctrl+Q");
  EXPECT_EQ(shortcut(find("Selector")), "");
  EXPECT_EQ(find("Gamma")->Filter->Caption, "ガンマ補正");
  EXPECT_EQ(find("Gamma")->Version, 2000);
  done();
  TMemIniFile f(ini());
  const std::string user = LoggedOnUserName();
  const std::string pre = user.empty() ? "" : user + ".";
  EXPECT_EQ(f.ReadString(pre + "Negative", "ShortCut", "?"), "Ctrl+I");
  EXPECT_EQ(f.ReadString(pre + "KWBinClr", "ThMode", "?"), "0");
  EXPECT_EQ(f.ReadString(pre + "KWBinClr", "Threshold", "?"), "128");
  EXPECT_EQ(f.ReadString(pre + "KWRGB", "Red", "?"), "1");
  EXPECT_EQ(f.ReadString(pre + "Selector", "ValueG", "?"), "128");
  EXPECT_EQ(f.ReadString(pre + "Histgram Flatness", "Method", "?"), "0");
  EXPECT_EQ(f.ReadString(pre + "Gamma", "Y_Curve", "?"), "1");
  EXPECT_EQ(f.ReadString(pre + "Gamma", "ToneFileName", "?"), "");
  EXPECT_FALSE(f.ValueExists(pre + "Gamma", "Enable"));
  EXPECT_FALSE(f.ValueExists(pre + "Negative", "Enable"));
}

TEST_F(Frame, SettingsAreReadIntoPanelsAndChangesSurviveARestart) {
  writeIni(
      "[KWBinClr]\r\nThMode=2\r\nThreshold=77\r\n[KWRGB]\r\nRed=0.5\r\nGreen=x\r\n"
      "[Selector]\r\nSourceR=5\r\nValueR=12\r\n[GrayScale]\r\nShortCut=Ctrl+Shift+K\r\n"
      "[Gamma]\r\nGamma=2.5\r\nColor=1\r\nR_Curve=0\r\n");
  init();
  auto* bin = static_cast<TKWBinClrForm*>(find("BinClr")->Panel);
  EXPECT_EQ(bin->rgMode->ItemIndex(), 2);
  EXPECT_EQ(bin->edrThreshold->text(), "77");
  EXPECT_TRUE(bin->edrThreshold->isEnabled());
  auto* rgb = static_cast<TKWRGB*>(find("KWRGB")->Panel);
  EXPECT_EQ(rgb->edr[0]->text(), "50");
  EXPECT_EQ(rgb->edr[1]->text(), "100");  // malformed: the default
  auto* sel = static_cast<TKWSelectorForm*>(find("Selector")->Panel);
  EXPECT_EQ(sel->rg[0]->ItemIndex(), 5);
  EXPECT_EQ(sel->edr[0]->text(), "12");
  EXPECT_EQ(shortcut(find("GrayScale")), "Ctrl+Shift+K");
  auto* gam = static_cast<TKWGammaForm*>(find("Gamma")->Panel);
  EXPECT_EQ(gam->edrGamma[0]->text(), "2.50");
  EXPECT_TRUE(gam->rbColor->isChecked());
  EXPECT_FALSE(gam->cbCurve[1]->isChecked());
  TToneTable built;  // tables are built at start from the gammas read
  TKWGamma::MakeTable(built, 2.5f);
  EXPECT_TRUE(std::equal(built, built + 256, gam->GetProcessor()->TableY));
  // The user changes things; they are written back at exit.
  bin->edrThreshold->setText("99");
  (*find("KWRGB")->ActionList)[0]->setShortcut(TextToShortCut("Ctrl+R"));
  gam->edrGamma[2]->setText("abc");  // not a number: gamma 1
  done();
  init();
  EXPECT_EQ(static_cast<TKWBinClrForm*>(find("BinClr")->Panel)->edrThreshold->text(), "99");
  EXPECT_EQ(shortcut(find("KWRGB")), "Ctrl+R");
  EXPECT_EQ(shortcut(find("GrayScale")), "Ctrl+Shift+K");
  EXPECT_EQ(static_cast<TKWGammaForm*>(find("Gamma")->Panel)->edrGamma[2]->text(), "1.00");
  done();
}

TEST_F(Frame, DisabledProcessorIsNeitherRegisteredNorRewritten) {
  writeIni("[BinClrX]\r\n[KWBinClr]\r\nEnable=0\r\nThreshold=5\r\n");
  const std::string user = LoggedOnUserName();
  init();
  EXPECT_EQ(find("BinClr"), nullptr);
  for (const char* n : {"NegativeColor", "GrayScale", "KWRGB", "Selector", "HistFlat", "Gamma"})
    EXPECT_NE(find(n), nullptr) << n;
  EXPECT_TRUE(IsLoadComplete);
  done();
  TMemIniFile f(ini());
  EXPECT_EQ(f.ReadString("KWBinClr", "Threshold", "?"), "5");
  EXPECT_FALSE(f.SectionExists(user.empty() ? "KWBinClr_" : user + ".KWBinClr"));
}

TEST_F(Frame, UserSectionWinsAndIsTheOneWritten) {
  const std::string user = LoggedOnUserName();
  if (user.empty()) GTEST_SKIP() << "no logged-on user name";
  writeIni("[Gamma]\r\nGamma=2\r\nGamma_R=3\r\n[" + user + ".Gamma]\r\nGamma=0.5\r\n");
  init();
  auto* gam = static_cast<TKWGammaForm*>(find("Gamma")->Panel);
  EXPECT_EQ(gam->edrGamma[0]->text(), "0.50");
  EXPECT_EQ(gam->edrGamma[1]->text(), "3.00");
  done();
  TMemIniFile f(ini());
  EXPECT_EQ(f.ReadString("Gamma", "Gamma", "?"), "2");
  EXPECT_EQ(f.ReadString(user + ".Gamma", "Gamma", "?"), "0.5");
  EXPECT_EQ(f.ReadString(user + ".Gamma", "Gamma_R", "?"), "3");
}

TEST_F(Frame, ShortCutTextsEmptyAndBroken) {
  writeIni("[Negative]\r\nShortCut=Ctrl+Frobnicate\r\n[GrayScale]\r\nShortCut=\r\n"
           "[KWRGB]\r\nShortCut=Nonsense+\r\n");
  init();
  EXPECT_EQ(shortcut(find("GrayScale")), "");  // empty text: no shortcut
  ASSERT_EQ(messages.size(), 1u);  // only the negative filter tells
  EXPECT_EQ(messages[0].rfind("ショートカットキーの割り当てに失敗しました。\r\n", 0), 0u);
  done();
}

TEST_F(Frame, MalformedSettingsFileGivesDefaults) {
  std::string junk(3000, '\0');
  for (size_t i = 0; i < junk.size(); ++i) junk[i] = char((i * 131) ^ 0x5A);
  writeIni("[KWBinClr\r\n=Threshold\r\n" + junk);
  init();
  for (const char* n : {"NegativeColor", "GrayScale", "BinClr", "KWRGB", "Selector", "HistFlat", "Gamma"})
    EXPECT_NE(find(n), nullptr) << n;
  auto* bin = static_cast<TKWBinClrForm*>(find("BinClr")->Panel);
  EXPECT_EQ(bin->edrThreshold->text(), "128");
  done();
}

TEST_F(Frame, PanelReadsItsControlsIntoTheSettingsPack) {
  init();
  auto* rgbInfo = find("KWRGB");
  auto* rgb = static_cast<TKWRGB*>(rgbInfo->Panel);
  rgb->edr[0]->setText("250");
  rgb->edr[1]->setText("");
  TStringList* list = rgbInfo->Filter->GetParams(nullptr);
  EXPECT_FLOAT_EQ(list->ObjectAs<TKWParameter>(0)->AsSingle(), 2.5f);
  EXPECT_FLOAT_EQ(list->ObjectAs<TKWParameter>(1)->AsSingle(), 0.0f);
  auto* selInfo = find("Selector");
  static_cast<TKWSelectorForm*>(selInfo->Panel)->edr[1]->setText("-");
  list = selInfo->Filter->GetParams(nullptr);
  EXPECT_EQ(list->ObjectAs<TKWParameter>(4)->AsInteger(), 128);
  EXPECT_FLOAT_EQ(TKWGammaForm::GammaOfText("0.000001"), 0.00001f);
  EXPECT_FLOAT_EQ(TKWGammaForm::GammaOfText("x"), 1.0f);
  // A menu action activates its panel, then runs the host's execute callback.
  TKWBasicFilter* current = nullptr;
  QObject* sender = nullptr;
  rgbInfo->Regist(nullptr, [&](TKWBasicFilter* f) { current = f; }, [&](QObject* s) { sender = s; });
  (*rgbInfo->ActionList)[0]->trigger();
  EXPECT_EQ(current, rgbInfo->Filter);
  EXPECT_EQ(sender, (*rgbInfo->ActionList)[0]);
  done();
}
