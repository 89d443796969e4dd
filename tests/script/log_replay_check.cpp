// A document worked on as the user does it (filters whose panels were
// changed, a mix read from its panel, alpha-channel commands, undo) and its
// log script, run on the original picture with KW --run, give the same
// pixels.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QRadioButton>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include <sys/wait.h>

#include "document/kwchild.h"
#include "document/kwparent.h"
#include "document/kwpaths.h"
#include "host/prcmgr.h"
#include "image/kwbitmap.h"
#include "procdef/multiuserini.h"
#include "script/kwscript.h"

namespace fs = std::filesystem;

namespace {

std::string ReadAll(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

void SetEdits(QWidget* panel, const std::vector<QString>& texts) {
  QList<QLineEdit*> edits = panel->findChildren<QLineEdit*>();
  ASSERT_GE(edits.size(), qsizetype(texts.size()));
  for (size_t i = 0; i < texts.size(); ++i) edits[qsizetype(i)]->setText(texts[i]);
}

TEST(LogReplay, LogScriptOfAWorkedDocumentReplaysToTheSamePixels) {
  const fs::path dir = fs::temp_directory_path() / ("kwreplay_" + std::to_string(::getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir / "prog" / "ProcLib");
  SetKWDataDir((dir / "data").string());
  SetUndoDataDir((dir / "data" / "UndoData").string() + "/");
  KWSetSettingsWritable(false);
  TKWChild::WriteResume = false;

  // The original picture.
  {
    std::mt19937 gen(5);
    TBitmap b;
    b.SetPixelFormat(pf24bit);
    b.SetSize(41, 29);
    for (int y = 0; y < 29; ++y)
      for (int i = 0; i < 41 * 3; ++i) b.ScanLine(y)[i] = uint8_t(gen());
    b.SaveToFile((dir / "orig.bmp").string());
  }

  std::string logText;
  {
    TKWProcessorManager mgr;
    mgr.LoadProcessors(KW_PROCLIB_DIR);
    // The documents (whose logs hold the packages' parameter packs) go
    // before the packages.
    {
    TKWParent parent;
    parent.OpenFiles({QString::fromStdString((dir / "orig.bmp").string())});
    ASSERT_EQ(parent.Children().size(), 1);
    TKWChild* doc = parent.Children().front();

    // Filters applied as the filter box applies them: the panel is read first.
    TFilterInfo* rgb = mgr.FindFilter("KWRGB");
    ASSERT_NE(rgb, nullptr);
    SetEdits(rgb->Panel, {"130", "60", "180"});
    doc->ApplyFilter(rgb->Filter, true);
    TFilterInfo* neg = mgr.FindFilter("NegativeColor");
    doc->ApplyFilter(neg->Filter, true);
    TFilterInfo* bin = mgr.FindFilter("BinClr");
    ASSERT_NE(bin, nullptr);
    doc->ApplyFilter(bin->Filter, true);
    doc->actUndo->trigger();  // the binarization is undone
    // The document mixed with itself, weighted 1:3, the foreground at (5, 3).
    TMixerInfo* avg = mgr.FindMixer("Average");
    ASSERT_NE(avg, nullptr);
    for (QRadioButton* b : avg->Panel->findChildren<QRadioButton*>())
      if (b->text() == QString::fromUtf8("重み付き")) b->click();
    SetEdits(avg->Panel, {"1", "3"});
    TMixOrigin at;
    at.X = 5;
    at.Y = 3;
    doc->ApplyMixer(doc->CurrentImage(), avg->Mixer, true, at);
    // Alpha-channel commands from the menu.
    doc->actACCreateFromImage->trigger();
    doc->actACInvert->trigger();
    doc->actUndo->trigger();
    doc->actRedo->trigger();
    doc->CreateAlphaByValue(200);
    doc->actUndo->trigger();
    doc->actACInvert->trigger();
    doc->SaveDocument((dir / "gui.bmp").string());
    logText = TKWScript::CreateLog(doc->imiImage->Log()).Text();
    doc->SetModified(false);
    }
    mgr.UnloadPackages();
  }
  SetKWDataDir("");
  SetUndoDataDir("");

  // What the panels held reached the log.
  EXPECT_NE(logText.find("Equal KWRGB.RED 1.29999995231628"), std::string::npos) << logText;
  EXPECT_NE(logText.find("Equal Average.MODE 1"), std::string::npos) << logText;
  EXPECT_NE(logText.find("Equal Average.FGWAIT 3"), std::string::npos) << logText;
  EXPECT_NE(logText.find("Equal Mixer.Origin_X 5"), std::string::npos) << logText;
  EXPECT_NE(logText.find("Undo CurrentImage"), std::string::npos);

  std::ofstream(dir / "log.kws", std::ios::binary) << logText;
  std::ofstream(dir / "replay.kws", std::ios::binary)
      << "IMAGE ORIGINAL\nOPEN ORIGINAL \"orig.bmp\"\nCALL \"log.kws\"\nSAVE ORIGINAL \"replayed.bmp\"\n";
  fs::copy_file(KW_EXE, dir / "prog" / "KW");
  fs::copy_file(KW_PRCDEF, dir / "prog" / "libKWPrcDef.so");
  fs::copy_file(fs::path(KW_PROCLIB_DIR) / "KWPrcLib.so", dir / "prog" / "ProcLib" / "KWPrcLib.so");
  const std::string cmd = "cd '" + dir.string() + "' && QT_QPA_PLATFORM=offscreen prog/KW --run replay.kws 2> err.txt";
  const int st = std::system(cmd.c_str());
  ASSERT_TRUE(WIFEXITED(st));
  EXPECT_EQ(WEXITSTATUS(st), 0) << ReadAll(dir / "err.txt");

  const std::string gui = ReadAll(dir / "gui.bmp");
  const std::string replayed = ReadAll(dir / "replayed.bmp");
  ASSERT_GT(gui.size(), 54u);
  EXPECT_EQ(gui.size(), replayed.size());
  EXPECT_TRUE(gui == replayed) << "the replayed pixels differ";
  EXPECT_NE(gui, ReadAll(dir / "orig.bmp"));
  fs::remove_all(dir);
}

}  // namespace

int main(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
