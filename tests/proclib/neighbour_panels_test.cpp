// The neighbourhood and geometric filters as units of the package: records
// and menu actions, settings read into the panels and written back, panels
// reading their controls (with the fallbacks for text that does not
// convert), preview requests and the mask panel's menu actions.
#include <gtest/gtest.h>

#include <QAction>
#include <QRadioButton>
#include <QToolButton>
#include <filesystem>
#include <fstream>
#include <unistd.h>

#include "platform/inifile.h"
#include "platform/sysutils.h"
#include "procdef/kwinfo.h"
#include "proclib/kwaffineform.h"
#include "proclib/kwaxisform.h"
#include "proclib/kwmaskform.h"
#include "proclib/kwmedianform.h"
#include "proclib/kwminmaxform.h"
#include "proclib/kwpolerform.h"
#include "proclib/kwresizeform.h"
#include "testutil.h"
#include "ui/messages.h"

using namespace kwlib;
namespace fs = std::filesystem;

extern "C" void KWPackageInitialize();
extern "C" void KWPackageFinalize();

namespace {

class NeighbourUnits : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() / ("kwneigh_" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir / "ProcLib");
    SetExecutableDir(dir.string() + "/");
    KWSetRegistReceivers([this](TFilterInfo* i) { filters.push_back(i); }, nullptr, nullptr);
    old = SetMessageHandler([](TMsgKind, const std::string&, const std::string&, bool) { return TMsgResult::Ok; });
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
  template <class F>
  F* panel(const std::string& name) {
    auto* i = find(name);
    return i ? static_cast<F*>(i->Panel) : nullptr;
  }
  void init() {
    filters.clear();
    KWPackageInitialize();
    for (auto* f : filters)
      f->Filter->OnUpdatePreview = [this](TKWProcessor*, TKWBasicFilter* p) { previews.push_back(p->Name); };
  }
  void done() { KWPackageFinalize(); }
  static void click(TRadioGroup* g, int i) { g->findChildren<QRadioButton*>()[i]->click(); }

  fs::path dir;
  std::vector<TFilterInfo*> filters;
  std::vector<std::string> previews;
  TMessageHandler old;
};

}  // namespace

TEST_F(NeighbourUnits, RecordsCaptionsAndActions) {
  init();
  struct {
    const char* name;
    const char* caption;
    std::vector<const char*> actions;
  } expect[] = {
      {"Mask", "近傍マスク", {"移動平均", "移動平均(弱)", "輪郭抽出", "輪郭強調", "輪郭強調(弱)", "任意マスク"}},
      {"Median", "メディアン", {"メディアン"}},
      {"MinMax", "最大最小", {"最大最小"}},
      {"Resize", "サイズ変更", {"サイズ変更"}},
      {"AxisOperate", "xy軸操作", {"ｘｙ軸操作"}},
      {"Affine", "アフィン変換", {"アフィン変換"}},
  };
  for (auto& e : expect) {
    TFilterInfo* i = find(e.name);
    ASSERT_NE(i, nullptr) << e.name;
    EXPECT_EQ(i->Filter->Caption, e.caption);
    ASSERT_EQ(i->ActionList->size(), e.actions.size());
    for (size_t k = 0; k < e.actions.size(); ++k) {
      EXPECT_EQ((*i->ActionList)[k]->text().toStdString(), e.actions[k]);
      EXPECT_TRUE((*i->ActionList)[k]->shortcut().isEmpty());
    }
  }
  done();
}

TEST_F(NeighbourUnits, SettingsReachThePanelsAndAreWrittenBack) {
  writeIni(
      "[Mask]\r\nRange=2\r\nOperation=5\r\nMask01=1.5\r\nMask40=-2\r\nAddValue=0.25\r\nDivValue=3\r\n"
      "Spray=1\r\nSprayPower=4\r\nShortCut3=Ctrl+E\r\n"
      "[KWMedian]\r\nRange=3\r\n[KWMinMax]\r\nMinMax=1\r\nRange=2\r\n"
      "[Resize]\r\nWidth=320\r\nHeight=200\r\nOffsetX=8\r\nMethod=1\r\n"
      "[AxisOperate]\r\nOperate=4\r\n"
      "[Affine]\r\nZoomRate=1.5\r\nRotateAngle=30\r\nSlashX=0.1\r\nExecSlash=1\r\nExecMove=1\r\nMoveX=-7\r\n"
      "OriginX=0.25\r\n");
  init();
  auto* mask = panel<TKWMaskForm>("Mask");
  ASSERT_NE(mask, nullptr);
  EXPECT_EQ(mask->rgRange->ItemIndex(), 2);
  EXPECT_EQ(mask->rgOperation->ItemIndex(), 5);
  // The grid is the window transposed: row r, column c holds key "Mask" r c.
  EXPECT_EQ(mask->edrMask[0][1]->text(), "1.5");
  EXPECT_EQ(mask->edrMask[4][0]->text(), "-2");
  EXPECT_EQ(mask->edrAdd->text(), "0.25");
  EXPECT_EQ(mask->udAdd->Position(), 0);
  EXPECT_EQ(mask->edrDiv->text(), "3");
  EXPECT_TRUE(mask->cbSpray->isChecked());
  EXPECT_TRUE(mask->edrPower->isEnabled());
  EXPECT_TRUE(mask->edrMask[2][2]->isEnabled());
  EXPECT_EQ(ShortCutToText((*find("Mask")->ActionList)[3]->shortcut()), "Ctrl+E");
  EXPECT_EQ(panel<TKWMedianForm>("Median")->rgRange->ItemIndex(), 3);
  EXPECT_EQ(panel<TKWMinMaxForm>("MinMax")->rgMinMax->ItemIndex(), 1);
  EXPECT_EQ(panel<TKWMinMaxForm>("MinMax")->rgRange->ItemIndex(), 2);
  auto* rs = panel<TKWResizeForm>("Resize");
  EXPECT_EQ(rs->edrWidth->text(), "320");
  EXPECT_EQ(rs->edrOffsetX->text(), "8");
  EXPECT_FALSE(rs->edrOffsetX->isEnabled());  // stretching needs no offset
  EXPECT_EQ(panel<TKWAxisForm>("AxisOperate")->rgOperate->ItemIndex(), 4);
  auto* af = panel<TKWAffineForm>("Affine");
  EXPECT_EQ(af->edrZoom->text(), "150.00");
  EXPECT_EQ(af->edrRotate->text(), "30.00");
  EXPECT_EQ(af->edrSlashX->text(), "10.00");
  EXPECT_EQ(af->edrMoveX->text(), "-7");
  EXPECT_EQ(af->edrOriginX->text(), "250");  // thousandths while no image is known
  EXPECT_FALSE(af->edrOriginX->isEnabled());
  EXPECT_FALSE(find("Affine")->Filter->CanPreview());
  // Changes in the panels reach the file at the end.
  mask->edrMask[1][3]->setText("0.75");
  panel<TKWMedianForm>("Median")->rgRange->SetItemIndex(1);
  af->cbMove->setChecked(false);
  done();
  TMemIniFile f(ini());
  const std::string user = LoggedOnUserName();
  const std::string pre = user.empty() ? "" : user + ".";
  EXPECT_EQ(f.ReadString(pre + "Mask", "Mask13", "?"), "0.75");
  EXPECT_EQ(f.ReadString(pre + "Mask", "Mask01", "?"), "1.5");
  EXPECT_EQ(f.ReadString(pre + "Mask", "SprayPower", "?"), "4");
  EXPECT_EQ(f.ReadString(pre + "Mask", "ShortCut3", "?"), "Ctrl+E");
  EXPECT_EQ(f.ReadString(pre + "Mask", "ShortCut0", "?"), "");
  EXPECT_EQ(f.ReadString(pre + "KWMedian", "Range", "?"), "1");
  EXPECT_EQ(f.ReadString(pre + "Resize", "Height", "?"), "200");
  EXPECT_EQ(f.ReadString(pre + "Affine", "ExecMove", "?"), "0");
  EXPECT_EQ(f.ReadString(pre + "Affine", "OriginX", "?"), "0.25");
}

TEST_F(NeighbourUnits, UnconvertibleTextFallsBack) {
  init();
  auto* mask = panel<TKWMaskForm>("Mask");
  mask->edrAdd->setText("abc");
  mask->edrDiv->setText("");
  mask->edrMask[3][1]->setText("1e");
  mask->edrPower->setText("2.5");
  auto* mp = static_cast<TMaskFilter*>(find("Mask")->Filter)->Settings();
  mp->AddValue = 9;
  find("Mask")->Filter->UpdateParam();
  EXPECT_EQ(mp->AddValue, 0.0f);
  EXPECT_EQ(mp->DivValue, 1.0f);
  EXPECT_EQ(mp->Mask(3, 1), 0.0f);
  EXPECT_EQ(mp->SprayPower, 1);
  auto* rs = panel<TKWResizeForm>("Resize");
  rs->edrWidth->setText("x");
  rs->edrHeight->setText("");
  rs->edrOffsetX->setText("q");
  find("Resize")->Filter->UpdateParam();
  auto* rp = static_cast<TKWResize*>(find("Resize")->Filter)->Settings();
  EXPECT_EQ(rp->Width, 640);
  EXPECT_EQ(rp->Height, 480);
  EXPECT_EQ(rp->OffsetX, 0);
  auto* af = panel<TKWAffineForm>("Affine");
  auto* aff = static_cast<TKWAffine*>(find("Affine")->Filter);
  af->edrZoom->setText("-");
  af->edrRotate->setText("?");
  af->edrMoveY->setText("3.5");
  af->edrOriginX->setText("500");
  aff->UpdateParam();
  EXPECT_EQ(aff->Settings()->ZoomRate, 1.0f);
  EXPECT_EQ(aff->Settings()->RotateAngle, 0.0f);
  EXPECT_EQ(aff->Settings()->MoveY, 0);
  EXPECT_EQ(aff->Settings()->OriginX, 0.5f);  // thousandths without an image
  // With an image the origin fields are pixels of it.
  auto img = kwtest::RandomBmp(200, 100, 1);
  aff->OnImageChange(img.get());
  EXPECT_TRUE(af->edrOriginX->isEnabled());
  EXPECT_EQ(af->edrOriginX->text(), "100");
  af->edrOriginY->setText("25");
  aff->UpdateParam();
  EXPECT_EQ(aff->Settings()->OriginY, 0.25f);
  af->PickOrigin(af->pbOrigin->width() / 2.0, 0);
  EXPECT_EQ(af->edrOriginX->text(), "100");
  EXPECT_EQ(af->edrOriginY->text(), "0");
  done();
}

TEST_F(NeighbourUnits, PreviewRequests) {
  init();
  previews.clear();
  click(panel<TKWMedianForm>("Median")->rgRange, 2);
  EXPECT_TRUE(previews.empty());  // the median's shape asks for none
  click(panel<TKWMinMaxForm>("MinMax")->rgMinMax, 1);
  EXPECT_EQ(previews, std::vector<std::string>{"MinMax"});
  previews.clear();
  auto* mask = panel<TKWMaskForm>("Mask");
  click(mask->rgOperation, 5);
  EXPECT_TRUE(mask->edrMask[0][0]->isEnabled());
  click(mask->rgRange, 3);
  EXPECT_EQ(previews, (std::vector<std::string>{"Mask", "Mask"}));
  previews.clear();
  auto* axis = panel<TKWAxisForm>("AxisOperate");
  click(axis->rgOperate, 1);
  click(axis->rgOperate, 2);  // a quarter turn cannot be previewed
  EXPECT_EQ(previews, std::vector<std::string>{"AxisOperate"});
  previews.clear();
  auto* af = panel<TKWAffineForm>("Affine");
  af->edrRotate->setText("45");
  EXPECT_EQ(previews, std::vector<std::string>{"Affine"});
  af->cbMove->setChecked(true);
  af->edrMoveX->setText("4");
  EXPECT_EQ(previews.size(), 1u);  // not while moving
  done();
}

TEST_F(NeighbourUnits, MaskMenuActionsRunTheirKernelAndKeepTheChoice) {
  init();
  TFilterInfo* i = find("Mask");
  auto* mask = panel<TKWMaskForm>("Mask");
  mask->rgOperation->SetItemIndex(1);
  std::vector<int> ran;
  TKWBasicFilter* active = nullptr;
  QWidget site;
  i->Regist(&site, [&](TKWBasicFilter* f) { active = f; },
            [&](QObject*) {
              i->Filter->UpdateParam();
              ran.push_back(static_cast<TMaskFilter*>(i->Filter)->Settings()->Operation);
            });
  (*i->ActionList)[4]->trigger();
  (*i->ActionList)[0]->trigger();
  EXPECT_EQ(ran, (std::vector<int>{4, 0}));
  EXPECT_EQ(active, i->Filter);
  EXPECT_EQ(mask->rgOperation->ItemIndex(), 1);
  done();
}

TEST_F(NeighbourUnits, UpDownsStepAndFollowTheFields) {
  init();
  auto* rs = panel<TKWResizeForm>("Resize");
  auto buttons = [](TUpDown* u) { return u->findChildren<QToolButton*>(); };
  ASSERT_EQ(buttons(rs->udWidth).size(), 2);
  rs->edrWidth->setText("100");  // typed: the up-down starts from the field
  buttons(rs->udWidth)[0]->click();
  EXPECT_EQ(rs->edrWidth->text(), "116");
  buttons(rs->udWidth)[1]->click();
  buttons(rs->udWidth)[1]->click();
  EXPECT_EQ(rs->edrWidth->text(), "84");
  rs->edrOffsetY->setText("3");
  buttons(rs->udOffsetY)[1]->click();
  EXPECT_EQ(rs->edrOffsetY->text(), "0");  // not below 0
  auto* mask = panel<TKWMaskForm>("Mask");
  auto* mp = static_cast<TMaskFilter*>(find("Mask")->Filter)->Settings();
  mp->AddValue = 2.5f;
  mp->DivValue = 5000;
  mp->Spray = false;
  mask->ApplyParam();
  EXPECT_EQ(mask->udAdd->Position(), 2);  // halves to even
  EXPECT_EQ(mask->edrAdd->text(), "2.5");
  EXPECT_EQ(mask->udDiv->Position(), 1000);
  EXPECT_EQ(mask->edrDiv->text(), "5000");
  EXPECT_FALSE(mask->edrPower->isEnabled());
  mask->cbSpray->setChecked(true);
  EXPECT_TRUE(mask->edrPower->isEnabled());
  done();
}

TEST_F(NeighbourUnits, PolarPanelStagesOriginAndPreviews) {
  writeIni("[Poler]\r\nOriginX=0.25\r\nMoveX=2.5\r\nMethod2P=6\r\nVariable2P=1\r\nA2P=3\r\nMethod5R=9\r\n");
  init();
  auto* pf = panel<TKWPolerForm>("Poler");
  ASSERT_NE(pf, nullptr);
  auto* f = static_cast<TKWPoler*>(find("Poler")->Filter);
  EXPECT_EQ(f->Caption, "極座標変形");
  EXPECT_EQ((*find("Poler")->ActionList)[0]->text().toStdString(), "極座標変形");
  EXPECT_EQ(pf->edrOriginX->text(), "250");  // thousandths while no image is known
  EXPECT_EQ(pf->edrOriginY->text(), "500");
  EXPECT_EQ(pf->edrMoveX->text(), "2.5");
  EXPECT_EQ(pf->sgStages->item(1, 1)->text().toStdString(), "正弦波");
  EXPECT_EQ(pf->sgStages->item(4, 0)->text().toStdString(), "なし");  // no formula of that number
  EXPECT_EQ(pf->sgStages->horizontalHeaderItem(1)->text().toStdString(), "位相θ");
  // The selected slot's controls, its changes stored and previewed.
  pf->SelectCell(1, 1);
  EXPECT_EQ(pf->rgMethod->ItemIndex(), 6);
  EXPECT_EQ(pf->rgVariable->ItemIndex(), 1);
  EXPECT_EQ(pf->edrA->text(), "3.0000");
  previews.clear();
  pf->edrB->setText("0.5");
  click(pf->rgMethod, 3);
  EXPECT_EQ(pf->sgStages->item(1, 1)->text().toStdString(), "指数");
  pf->edrMoveY->setText("-4");
  EXPECT_EQ(previews, (std::vector<std::string>{"Poler", "Poler", "Poler"}));
  pf->edrA->setText("x");  // no number: A keeps its value
  pf->SelectCell(0, 0);
  EXPECT_EQ(pf->rgMethod->ItemIndex(), 0);
  f->UpdateParam();
  const TKWPolerPack& p = *f->Settings();
  EXPECT_EQ(p.Method2P, 3);
  EXPECT_EQ(p.Variable2P, 1);
  EXPECT_EQ(p.A2P, 3.0f);
  EXPECT_EQ(p.B2P, 0.5f);
  EXPECT_EQ(p.MoveY, -4.0f);
  EXPECT_EQ(p.OriginX, 0.25f);
  // With an image the origin fields are its pixels; the picker sets them.
  auto img = kwtest::RandomBmp(200, 100, 1);
  f->OnImageChange(img.get());
  EXPECT_EQ(pf->edrOriginX->text(), "50");
  EXPECT_TRUE(pf->edrOriginX->isEnabled());
  pf->pbOrigin->Pick(pf->pbOrigin->width(), pf->pbOrigin->height() / 2.0);
  EXPECT_EQ(pf->edrOriginX->text(), "200");
  EXPECT_EQ(pf->edrOriginY->text(), "50");
  done();
  TMemIniFile ini(this->ini());
  const std::string user = LoggedOnUserName();
  const std::string pre = user.empty() ? "" : user + ".";
  EXPECT_EQ(ini.ReadString(pre + "Poler", "Method2P", "?"), "3");
  EXPECT_EQ(ini.ReadString(pre + "Poler", "B2P", "?"), "0.5");
  EXPECT_EQ(ini.ReadString(pre + "Poler", "OriginX", "?"), "1");
  EXPECT_EQ(ini.ReadString(pre + "Poler", "D5P", "?"), "0");
}
