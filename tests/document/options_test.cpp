#include <QCheckBox>
#include <QDockWidget>
#include <QLineEdit>
#include <QMainWindow>
#include <QRadioButton>

#include "doc_test_support.h"
#include "document/intedit.h"
#include "document/optiondlg.h"
#include "procdef/kwparallel.h"
#include "procdef/multiuserini.h"

namespace {
struct SavedOptions {
  int q = JPEGQuality, d = DiskUndo, u = UndoLimitOption;
  uint8_t r = ResizeMode;
  bool n = NormalAlphaBlending, ro = RefreshOnScript, ra = ReadmeAlpha;
  std::string f = ResumeFormat;
  ~SavedOptions() {
    JPEGQuality = q;
    DiskUndo = d;
    UndoLimitOption = u;
    ResizeMode = r;
    NormalAlphaBlending = n;
    RefreshOnScript = ro;
    ReadmeAlpha = ra;
    ResumeFormat = f;
    KWSetThreadOption(0);
  }
};
}  // namespace

TEST(Options, DefaultsWithoutSettingsFile) {
  TempDataDir data;
  SavedOptions keep;
  TKWOptionDlg dlg;
  EXPECT_EQ(JPEGQuality, 50);
  EXPECT_EQ(ResumeFormat, ".bmp");
  EXPECT_EQ(ResizeMode, 1);
  EXPECT_EQ(UndoLimitOption, 10);
  EXPECT_EQ(DiskUndo, 3);
  EXPECT_FALSE(RefreshOnScript);
  EXPECT_TRUE(ReadmeAlpha);
  EXPECT_TRUE(NormalAlphaBlending);
  EXPECT_EQ(KWThreadOption(), 0);  // every core
}

TEST(Options, RoundTripThroughTheDialogAndTheFile) {
  TempDataDir data;
  SavedOptions keep;
  {
    TMultiUserIni ini(KWSettingsFile());
    ini.WriteInteger("Option", "DiskUndo", 5);
    ini.UpdateFile();
  }
  TKWOptionDlg dlg;
  dlg.FillControls();
  EXPECT_EQ(dlg.edrOnMemLim->text(), "5");
  EXPECT_TRUE(dlg.edrUndoLimit->isEnabled());
  dlg.cbUnlimitedUndo->setChecked(true);
  EXPECT_FALSE(dlg.edrUndoLimit->isEnabled());
  dlg.edrJPEGQuality->setText("85");
  dlg.rgResumeFormat[2]->setChecked(true);
  dlg.rgResizeMode[0]->setChecked(true);
  dlg.cbRefreshOnScrExec->setChecked(true);
  dlg.cbReadmeAlpha->setChecked(false);
  dlg.cbAlphaMode->setChecked(false);
  EXPECT_TRUE(dlg.cbAllCores->isChecked());
  EXPECT_FALSE(dlg.edrThreads->isEnabled());
  dlg.cbAllCores->setChecked(false);
  dlg.edrThreads->setText("3");
  dlg.StoreControls();
  // The count is in force at once (unless the environment sets one).
  if (!std::getenv("KW_THREADS")) {
    EXPECT_EQ(KWThreadCount(), 3);
  }

  TMultiUserIni ini(KWSettingsFile());
  EXPECT_EQ(ini.ReadInteger("Option", "UndoLimit", 0), -1);
  EXPECT_EQ(ini.ReadInteger("Option", "DiskUndo", 0), 5);
  EXPECT_EQ(ini.ReadInteger("Option", "JPEG_Quality", 0), 85);
  EXPECT_EQ(ini.ReadString("Option", "ResumeFormat", ""), ".png");
  EXPECT_EQ(ini.ReadInteger("Option", "ResizeMode", 9), 0);
  EXPECT_TRUE(ini.ReadBool("Option", "RefreshOnScript", false));
  EXPECT_FALSE(ini.ReadBool("Option", "ReadmeAlpha", true));
  EXPECT_FALSE(ini.ReadBool("Option", "NormalAlphaBlending", true));
  EXPECT_EQ(ini.ReadInteger("Option", "Threads", 0), 3);

  // A second start reads what was written, and the dialog shows it.
  JPEGQuality = 1;
  UndoLimitOption = 3;
  KWSetThreadOption(0);
  TKWOptionDlg again;
  EXPECT_EQ(KWThreadOption(), 3);
  EXPECT_EQ(JPEGQuality, 85);
  EXPECT_EQ(UndoLimitOption, -1);
  EXPECT_EQ(ResumeFormat, ".png");
  EXPECT_EQ(ResizeMode, 0);
  EXPECT_FALSE(NormalAlphaBlending);
  again.FillControls();
  EXPECT_TRUE(again.cbUnlimitedUndo->isChecked());
  EXPECT_FALSE(again.edrUndoLimit->isEnabled());
  EXPECT_TRUE(again.rgResumeFormat[2]->isChecked());
  EXPECT_FALSE(again.cbAllCores->isChecked());
  EXPECT_EQ(again.edrThreads->text(), "3");
}

TEST(Options, ConversionErrorStopsAfterTheOptionsBeforeIt) {
  TempDataDir data;
  SavedOptions keep;
  TKWOptionDlg dlg;
  dlg.FillControls();
  dlg.edrJPEGQuality->setText("60");
  dlg.rgResumeFormat[1]->setChecked(true);
  dlg.cbUnlimitedUndo->setChecked(false);
  dlg.edrUndoLimit->setText("");  // not an integer
  dlg.edrOnMemLim->setText("7");
  EXPECT_THROW(dlg.StoreControls(), EConvertError);
  EXPECT_EQ(JPEGQuality, 60);
  EXPECT_EQ(ResumeFormat, ".jpg");
  EXPECT_EQ(UndoLimitOption, 10);
  EXPECT_EQ(DiskUndo, 3);  // after the failing one: unchanged
  TMultiUserIni ini(KWSettingsFile());
  EXPECT_EQ(ini.ReadInteger("Option", "JPEG_Quality", 0), 60);
  EXPECT_FALSE(ini.ValueExists("Option", "DiskUndo"));
}

TEST(Options, IntEditTakesOnlyIntegerKeysAndStepsInRange) {
  TIntEdit e(1, 99);
  e.setText("98");
  e.Step(1);
  e.Step(1);
  EXPECT_EQ(e.text(), "99");
  e.setText("abc");
  EXPECT_THROW(e.Value(), EConvertError);
}

TEST(Options, ToolWindowPlacementRoundTrip) {
  TempDataDir data;
  QMainWindow main;
  main.resize(800, 600);
  auto* box = new QDockWidget("フィルタ", &main);
  box->setObjectName("TFilterBox");
  box->setWidget(new QWidget);
  main.addDockWidget(Qt::LeftDockWidgetArea, box);
  main.show();
  {
    TMultiUserIni ini(KWSettingsFile());
    SavePlacement(box, ini);
    ini.UpdateFile();
  }
  TMultiUserIni ini(KWSettingsFile());
  EXPECT_TRUE(ini.ReadBool("TFilterBox", "Docking", false));
  EXPECT_EQ(ini.ReadString("TFilterBox", "DockSite", ""), "rdsxLeft");
  EXPECT_TRUE(ini.ReadBool("TFilterBox", "Visible", false));

  QMainWindow main2;
  auto* box2 = new QDockWidget("フィルタ", &main2);
  box2->setObjectName("TFilterBox");
  RestorePlacement(box2, &main2, ini, "pcTool");
  EXPECT_EQ(main2.dockWidgetArea(box2), Qt::LeftDockWidgetArea);
  EXPECT_FALSE(box2->isFloating());

  // Floating, hidden.
  ini.WriteBool("TFilterBox", "Docking", false);
  ini.WriteBool("TFilterBox", "Visible", false);
  ini.WriteInteger("TFilterBox", "Left", 40);
  ini.WriteInteger("TFilterBox", "Top", 50);
  ini.WriteInteger("TFilterBox", "UndockWidth", 320);
  ini.WriteInteger("TFilterBox", "UndockHeight", 410);
  QMainWindow main3;
  auto* box3 = new QDockWidget("フィルタ", &main3);
  box3->setObjectName("TFilterBox");
  RestorePlacement(box3, &main3, ini, "pcTool");
  EXPECT_TRUE(box3->isFloating());
  EXPECT_FALSE(box3->isVisible());
  EXPECT_EQ(box3->geometry().size(), QSize(320, 410));
}
