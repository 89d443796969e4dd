// The pure colour and gradation units in the package: registration records,
// settings keys read and written, panels reading and showing their values,
// preview requests, the menu actions and the gradation's colour strip.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <chrono>
#include <filesystem>
#include <thread>
#include <fstream>
#include <sstream>
#include <unistd.h>

#include "platform/inifile.h"
#include "platform/sysutils.h"
#include "procdef/kwinfo.h"
#include "proclib/kwgradform.h"
#include "proclib/kwjuliaform.h"
#include "julia_reference.h"
#include "proclib/kwpurclrform.h"

using namespace kwlib;
namespace fs = std::filesystem;

extern "C" void KWPackageInitialize();
extern "C" void KWPackageFinalize();

namespace {

class GeneratorUnits : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() / ("kwgenerators_" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir / "ProcLib");
    SetExecutableDir(dir.string() + "/");
    KWSetRegistReceivers(nullptr, nullptr, [this](TGeneratorInfo* i) { gens.push_back(i); });
  }
  void TearDown() override {
    KWSetRegistReceivers(nullptr, nullptr, nullptr);
    fs::remove_all(dir);
  }
  std::string ini() const { return (dir / "ProcLib" / "KWPrcLib.ini").string(); }
  std::string iniText() const {
    std::ifstream in(ini(), std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }
  TGeneratorInfo* find(const std::string& name) {
    for (auto* g : gens)
      if (g->Name == name) return g;
    return nullptr;
  }
  void init() {
    gens.clear();
    KWPackageInitialize();
  }
  void done() { KWPackageFinalize(); }
  TKWPureColorForm* pure() { return static_cast<TKWPureColorForm*>(find("PureColor")->Panel); }
  TKWGradationForm* grad() { return static_cast<TKWGradationForm*>(find("Gradation")->Panel); }

  fs::path dir;
  std::vector<TGeneratorInfo*> gens;
};

}  // namespace

TEST_F(GeneratorUnits, RegisterWithNamesCaptionsAndActions) {
  init();
  std::vector<std::string> names, captions, actions;
  for (auto* g : gens) {
    names.push_back(g->Name);
    captions.push_back(g->Generator->Caption);
    for (QAction* a : *g->ActionList) actions.push_back(a->text().toStdString());
    EXPECT_EQ(g->Generator->Genre, TKWProcessorGenre::pgGenerator);
    EXPECT_EQ(g->Generator->CanPreview(), g->Name != "Julia");  // it previews in its panel
    EXPECT_TRUE(bool(g->Regist));
    EXPECT_EQ(g->Panel->windowTitle().toStdString(), g->Generator->Caption);
  }
  ASSERT_GE(names.size(), 2u);
  // Pure colour comes before the gradation.
  auto at = [&](const char* n) { return std::find(names.begin(), names.end(), n) - names.begin(); };
  EXPECT_LT(at("PureColor"), at("Gradation"));
  EXPECT_LT(at("Gradation"), long(names.size()));
  EXPECT_EQ(find("PureColor")->Generator->Caption, "純色");
  EXPECT_EQ(find("Gradation")->Generator->Caption, "グラデーション");
  EXPECT_EQ((*find("PureColor")->ActionList)[0]->text().toStdString(), "純色");
  EXPECT_EQ((*find("Gradation")->ActionList)[0]->text().toStdString(), "グラデーション");
  done();
}

TEST_F(GeneratorUnits, SettingsAreReadShownAndWrittenBack) {
  {
    std::ofstream(ini(), std::ios::binary)
        << "[KWPureColor]\r\nRed=12\r\nGreen=300\r\nBlue=7\r\n"
        << "[KWGradation]\r\nStyle=1\r\nRotate=45\r\nScale=0.5\r\nOffsetX=0.25\r\nR_Begin=3\r\n"
        << "G_Value_2=77\r\nG_Pos_2=0.4\r\nSmooth=1\r\n";
  }
  init();
  auto* pc = pure();
  EXPECT_EQ(pc->edrRed->text(), "12");
  EXPECT_EQ(pc->edrGreen->text(), "300");  // shown as it is, beyond the up-down's range
  EXPECT_EQ(pc->udGreen->Position(), 255);
  auto* gr = grad();
  EXPECT_EQ(gr->cbStyle->currentIndex(), 1);
  EXPECT_EQ(gr->edrRotate->text(), "45");
  EXPECT_EQ(gr->edrScale->text(), "50");
  EXPECT_EQ(gr->edrOffsetX->text(), "25");
  EXPECT_EQ(gr->edrStart[0]->text(), "3");
  EXPECT_EQ(gr->edrEnd[2]->text(), "255");
  EXPECT_EQ(gr->sgCtrlPt->item(0, 3)->text(), "緑輝度");
  EXPECT_EQ(gr->sgCtrlPt->item(2, 2)->text(), "40");
  EXPECT_EQ(gr->sgCtrlPt->item(2, 3)->text(), "77");
  // Changes in the panels reach the file at the end.
  pc->edrBlue->setText("99");
  gr->edrEnd[1]->setText("128");
  done();
  const std::string text = iniText();
  EXPECT_NE(text.find("Blue=99"), std::string::npos);
  EXPECT_NE(text.find("G_End=128"), std::string::npos);
  EXPECT_NE(text.find("Smooth=1"), std::string::npos);
  EXPECT_NE(text.find("B_Pos_5="), std::string::npos);
}

TEST_F(GeneratorUnits, PureColorPanelReadsFieldsAndAsksForPreviews) {
  init();
  IsLoadComplete = true;
  auto* pc = pure();
  auto* gen = find("PureColor")->Generator;
  auto* pack = static_cast<TKWPureColor*>(gen)->Settings();
  int previews = 0;
  gen->OnUpdatePreview = [&](TKWProcessor*, TKWBasicGenerator*) { ++previews; };
  pc->edrRed->setText("abc");
  pc->edrGreen->setText("");
  pc->edrBlue->setText("200");
  QFocusEvent out(QEvent::FocusOut);
  QApplication::sendEvent(pc->edrBlue, &out);
  EXPECT_EQ(previews, 1);
  EXPECT_EQ(pack->Red, 0);
  EXPECT_EQ(pack->Green, 0);
  EXPECT_EQ(pack->Blue, 200);
  QKeyEvent up(QEvent::KeyRelease, Qt::Key_5, Qt::NoModifier, "5");
  pc->edrRed->setText("5");
  QApplication::sendEvent(pc->edrRed, &up);
  EXPECT_EQ(previews, 2);
  EXPECT_EQ(pack->Red, 5);
  // Showing values asks for nothing.
  pc->ApplyParam();
  EXPECT_EQ(previews, 2);
  // The menu action activates the panel and runs the host's execute.
  std::vector<TKWBasicGenerator*> activated;
  int runs = 0;
  find("PureColor")->Regist(new QWidget, [&](TKWBasicGenerator* g) { activated.push_back(g); },
                            [&](QObject*) { ++runs; });
  (*find("PureColor")->ActionList)[0]->trigger();
  EXPECT_EQ(runs, 1);
  ASSERT_FALSE(activated.empty());
  EXPECT_EQ(activated.back(), gen);
  done();
}

TEST_F(GeneratorUnits, GradationPanelGuardsNumbersStepByStep) {
  init();
  auto* gr = grad();
  auto* gen = static_cast<TKWGradation*>(find("Gradation")->Generator);
  TKWGradationPack& p = *gen->Settings();
  p.Rotate = 1, p.OffsetX = 2, p.OffsetY = 3, p.Scale = 4;
  gr->edrRotate->setText("30");
  gr->edrOffsetX->setText("50");
  gr->edrOffsetY->setText("x");
  gr->edrScale->setText("200");
  gr->edrStart[1]->setText("q");
  gr->cbStyle->setCurrentIndex(1);
  gr->sgCtrlPt->item(1, 0)->setText("25");   // red position 1
  gr->sgCtrlPt->item(1, 1)->setText("128");  // red value 1
  gr->sgCtrlPt->item(1, 2)->setText("y");    // green position 1: stops the row
  gr->sgCtrlPt->item(1, 4)->setText("90");
  gr->sgCtrlPt->item(2, 5)->setText("z");
  p.B_Pos_1 = 0.7f;
  gen->UpdateParam();
  EXPECT_FLOAT_EQ(p.Rotate, 30);
  EXPECT_FLOAT_EQ(p.OffsetX, 0.5f);
  EXPECT_FLOAT_EQ(p.OffsetY, 3);  // no number: it and the scale stay
  EXPECT_FLOAT_EQ(p.Scale, 4);
  EXPECT_EQ(p.G_Begin, 0);
  EXPECT_EQ(p.Style, 1);
  EXPECT_FLOAT_EQ(p.R_Pos_1, 0.25f);
  EXPECT_EQ(p.R_Value_1, 128);
  EXPECT_FLOAT_EQ(p.B_Pos_1, 0.7f);
  EXPECT_EQ(p.B_Value_2, 0);
  // Shown back with whole numbers.
  p.Rotate = 12.6f, p.Scale = 1.26f, p.OffsetY = -0.5f;
  gr->ApplyParam();
  EXPECT_EQ(gr->edrRotate->text(), "13");
  EXPECT_EQ(gr->edrScale->text(), "126");
  EXPECT_EQ(gr->edrOffsetY->text(), "-50");
  done();
}

TEST_F(GeneratorUnits, GradationStripFollowsThePanel) {
  init();
  auto* gr = grad();
  gr->pbGradCurve->setFixedWidth(100);
  gr->edrStart[0]->setText("0");
  gr->edrEnd[0]->setText("255");
  gr->edrStart[1]->setText("10");
  gr->edrEnd[1]->setText("10");
  gr->edrStart[2]->setText("0");
  gr->edrEnd[2]->setText("0");
  for (int r = 1; r <= 5; ++r)
    for (int c = 0; c < 6; ++c) gr->sgCtrlPt->item(r, c)->setText("0");
  std::vector<TColor> colors = gr->StripColors();
  ASSERT_EQ(colors.size(), 100u);
  for (int x = 0; x < 100; ++x) ASSERT_EQ(colors[size_t(x)], TColor(255 * x / 100 + 256 * 10)) << x;
  // A red above 255 carries into green: the strip shows the 24-bit sum.
  gr->edrStart[0]->setText("300");
  gr->edrEnd[0]->setText("300");
  colors = gr->StripColors();
  EXPECT_EQ(colors[0], TColor(300 + 256 * 10));
  done();
}

TEST_F(GeneratorUnits, JuliaPanelPreviewsItselfAndZoomsByClick) {
  std::ofstream(ini(), std::ios::binary)
      << "[KWJulia]\r\nMethod=2\r\nC_Real=0.25\r\nC_Image=1\r\nRangeLeft=-1\r\nRangeRight=3\r\n"
      << "RangeTop=1\r\nRangeBottom=-1\r\nLimit=128\r\nVisualizationR=4\r\nInvertG=1\r\n";
  init();
  TGeneratorInfo* info = find("Julia");
  ASSERT_NE(info, nullptr);
  auto* jf = static_cast<TKWJuliaForm*>(info->Panel);
  auto* gen = static_cast<TKWJulia*>(info->Generator);
  EXPECT_EQ(gen->Caption, "ジュリア集合");
  EXPECT_FALSE(gen->CanPreview());  // the host never previews it
  EXPECT_EQ((*info->ActionList)[0]->text().toStdString(), "ジュリア集合");
  EXPECT_EQ(jf->rgMethod->ItemIndex(), 2);
  EXPECT_EQ(jf->edrCReal->text(), "0.25");
  EXPECT_EQ(jf->edrRangeRealEnd->text(), "3");
  EXPECT_EQ(jf->edrRangeImageStart->text(), "-1");  // the bottom bound
  EXPECT_EQ(jf->edrRangeImageEnd->text(), "1");
  EXPECT_EQ(jf->cbLimit->currentText(), "128");
  EXPECT_EQ(jf->cbVisualizeR->currentIndex(), 4);
  EXPECT_TRUE(jf->cbInvertG->isChecked());
  EXPECT_EQ(jf->imPreview->toolTip().toStdString(), "クリックすると、そこを中心に範囲を絞ります");

  // Shown, the panel previews in the proportion of the ranges (4 : 2).
  auto previewDone = [&] {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (jf->imPreview->toolTip().toStdString() != "クリックすると、そこを中心に拡大します" &&
           std::chrono::steady_clock::now() < end) {
      QApplication::processEvents();
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return jf->imPreview->toolTip().toStdString() == "クリックすると、そこを中心に拡大します";
  };
  jf->show();
  ASSERT_TRUE(previewDone());
  EXPECT_EQ(jf->imPreview->size(), QSize(128, 64));
  auto same = [&](const TKWJuliaParam& p) {
    const std::vector<uint32_t> want = kwref::Julia(p, 128, 64);
    const QImage& img = jf->PreviewImage();
    int64_t bad = 0;
    for (int y = 0; y < 64; ++y)
      for (int x = 0; x < 128; ++x) bad += (img.pixel(x, y) & 0xFFFFFFu) != want[size_t(y) * 128 + x];
    return bad;
  };
  TKWJuliaParam p = *gen->Settings();
  EXPECT_EQ(same(p), 0);

  // A click in the middle keeps the middle and halves both ranges; the
  // larger imaginary value goes into the first imaginary field.  No second
  // zoom while the new preview is computed.
  jf->ZoomAt(64, 32);
  EXPECT_EQ(jf->edrRangeRealStart->text(), "    0.000000");
  EXPECT_EQ(jf->edrRangeRealEnd->text(), "    2.000000");
  EXPECT_EQ(jf->edrRangeImageStart->text(), "    0.500000");
  EXPECT_EQ(jf->edrRangeImageEnd->text(), "   -0.500000");
  jf->ZoomAt(0, 0);
  EXPECT_EQ(jf->edrRangeRealStart->text(), "    0.000000");
  ASSERT_TRUE(previewDone());
  p = *gen->Settings();
  EXPECT_EQ(p.Range_Bottom, 0.5);
  EXPECT_EQ(p.Range_Top, -0.5);
  EXPECT_EQ(same(p), 0);

  // Text that is no number: the Limit becomes 64, the other numbers stay.
  jf->cbLimit->setCurrentText("");
  jf->edrCImage->setText("1.2.3");
  gen->UpdateParam();
  EXPECT_EQ(gen->Settings()->Limit, 64);
  EXPECT_EQ(gen->Settings()->C_Image, 1.0);
  // Preview sizes: the longer side 128; equal bounds give a square.
  int w, h;
  p.Range_Top = p.Range_Bottom;
  TKWJuliaForm::PreviewSize(p, w, h);
  EXPECT_EQ(QSize(w, h), QSize(128, 128));
  p.Range_Top = p.Range_Bottom + 1000 * (p.Range_Right - p.Range_Left);
  TKWJuliaForm::PreviewSize(p, w, h);
  EXPECT_EQ(QSize(w, h), QSize(4, 128));
  jf->hide();
  done();
  EXPECT_NE(iniText().find("RangeLeft=0\r\n"), std::string::npos) << iniText();
  EXPECT_NE(iniText().find("Limit=64\r\n"), std::string::npos);
}
