#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QMdiArea>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMenuBar>
#include <QMimeData>
#include <QUrl>

#include "doc_test_support.h"
#include "document/kwchild.h"
#include "document/kwparent.h"
#include "document/optiondlg.h"
#include "host/filterbox.h"
#include "procdef/multiuserini.h"

namespace {

struct ParentFixture : ::testing::Test {
  TempDataDir data;
  MessageRecorder msgs;
  std::string oldFormat = ResumeFormat;
  void SetUp() override {
    TKWChild::WriteResume = true;
    IsLoadComplete = true;
  }
  void TearDown() override { ResumeFormat = oldFormat; }
};

// The resume format as the options dialog reads it at start-up.
void SetResumeFormatOption(const std::string& fmt) {
  TMultiUserIni ini(KWSettingsFile());
  ini.WriteString("Option", "ResumeFormat", fmt);
}

struct DocState {
  std::string title;
  float zoom;
  QRect rect;
  bool alpha;
  bool modified;
};

}  // namespace

TEST_F(ParentFixture, ResumeRoundTripOfThreeDocuments) {
  for (const char* fmt : {".bmp", ".png"}) {
    SCOPED_TRACE(fmt);
    std::vector<DocState> before;
    {
      SetResumeFormatOption(fmt);
      TKWParent main;
      ASSERT_EQ(ResumeFormat, fmt);
      main.resize(1000, 800);
      main.show();
      const char* names[3] = {"a.bmp", "b.bmp", "c.bmp"};
      for (int i = 0; i < 3; ++i) {
        const std::string f = data.path(names[i]);
        WritePatternBmp(f, 40 + 10 * i, 30 + 5 * i, uint32_t(i + 1));
        main.OpenFiles({QString::fromStdString(f)});
      }
      QList<TKWChild*> docs = main.Children();
      ASSERT_EQ(docs.size(), 3);
      docs[0]->CreateAlphaByValue(99);
      docs[1]->SetZoom(2.0);
      docs[1]->FitWindow(false);
      docs[2]->actZoom050->trigger();
      docs[2]->setGeometry(30, 40, 120, 90);  // limited to the view plus frame
      docs[2]->Modified = false;
      for (TKWChild* d : docs)
        before.push_back({d->CurrentImage()->FileName, d->imiImage->ZoomRate(), d->geometry(),
                          d->CurrentImage()->HasAlpha, d->Modified});
      msgs.answers = {TMsgResult::No};  // the modified document is not saved
      EXPECT_TRUE(main.close());
    }
    const std::string R = KWResumeDir();
    for (int i = 0; i < 3; ++i)
      EXPECT_TRUE(FileExists(R + "000" + std::to_string(i) + fmt)) << i;
    {
      TMultiUserIni ini(R + "Resume.ini");
      EXPECT_EQ(ini.ReadInteger("FileList", "ImageIndex", -1), 2);
      EXPECT_EQ(ini.ReadString("FileList", "Image0001", ""), "0001");
    }

    // Second start.
    TKWParent main2;
    main2.resize(1000, 800);
    main2.show();  // resumes once shown
    QCoreApplication::processEvents();
    QList<TKWChild*> docs = main2.Children();
    ASSERT_EQ(docs.size(), 3);
    for (int i = 0; i < 3; ++i) {
      TKWChild* d = docs[i];
      EXPECT_EQ(d->CurrentImage()->FileName, before[i].title);
      EXPECT_FLOAT_EQ(d->imiImage->ZoomRate(), before[i].zoom);
      EXPECT_EQ(d->geometry(), before[i].rect) << i;
      EXPECT_EQ(d->CurrentImage()->HasAlpha, before[i].alpha);
      EXPECT_EQ(d->Modified, before[i].modified);
      EXPECT_EQ(d->CurrentImage()->OperationName, "レジューム");
    }
    EXPECT_EQ(docs[0]->CurrentImage()->Row32(1)[1] >> 24, 99u);  // alpha values came back
    EXPECT_EQ(docs[1]->CurrentImage()->Width(), 50);
    // The folder is emptied.
    EXPECT_FALSE(FileExists(R + std::string("0000") + fmt));
    {
      TMultiUserIni ini(R + "Resume.ini");
      EXPECT_FALSE(ini.SectionExists("FileList"));
      EXPECT_FALSE(ini.SectionExists("0000"));
    }
    for (TKWChild* d : docs) {
      d->ClosedByUser = true;
      delete d;
    }
  }
}

TEST_F(ParentFixture, EntriesOfAnotherFormatAreSkipped) {
  SetResumeFormatOption(".bmp");
  {
    TKWParent main;
    main.show();
    const std::string f = data.path("x.bmp");
    WritePatternBmp(f, 8, 8, 1);
    main.OpenFiles({QString::fromStdString(f)});
    EXPECT_TRUE(main.close());
  }
  SetResumeFormatOption(".jpg");
  TKWParent main2;
  main2.LoadResume();
  EXPECT_TRUE(main2.Children().isEmpty());
  TMultiUserIni ini(KWResumeDir() + "Resume.ini");
  EXPECT_TRUE(ini.SectionExists("0000"));  // the entry keeps its section
}

TEST_F(ParentFixture, OpenFilesRecursesFoldersAndSkipsUnreadableFiles) {
  TKWChild::WriteResume = false;
  TKWParent main;
  main.show();
  QDir(QString::fromStdString(data.path(""))).mkpath("imgs/sub");
  WritePatternBmp(data.path("imgs/one.bmp"), 5, 5, 1);
  WritePatternBmp(data.path("imgs/sub/two.bmp"), 6, 6, 2);
  {
    QFile bad(QString::fromStdString(data.path("imgs/sub/bad.png")));
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
    bad.write("\x89PNG broken");
  }
  {
    QFile s(QString::fromStdString(data.path("imgs/sub/run.kws")));
    ASSERT_TRUE(s.open(QIODevice::WriteOnly));
    s.write("Undo CurrentImage\r\n");
  }
  std::vector<std::string> scripts;
  main.OpenScriptFile = [&](const std::string& p) { scripts.push_back(p); };
  main.OpenFiles({QString::fromStdString(data.path("imgs"))});
  QList<TKWChild*> docs = main.Children();
  ASSERT_EQ(docs.size(), 2);
  QStringList titles;
  for (TKWChild* d : docs) titles << QString::fromStdString(d->CurrentImage()->FileName);
  titles.sort();
  EXPECT_EQ(titles, QStringList({"one.bmp", "two.bmp"}));
  ASSERT_EQ(scripts.size(), 1u);
  EXPECT_EQ(ExtractFileName(scripts[0]), "run.kws");
  EXPECT_TRUE(msgs.shown.empty());  // unreadable files go silently
  EXPECT_TRUE(main.actDoFilter->isEnabled());
}

TEST_F(ParentFixture, StatusTextNewCloneAndUndoLimitFromOptions) {
  TKWChild::WriteResume = false;
  TKWParent main;
  main.show();
  EXPECT_FALSE(main.actDoFilter->isEnabled());
  const std::string f = data.path("big.bmp");
  WritePatternBmp(f, 512, 768, 1);
  main.OpenFiles({QString::fromStdString(f)});
  main.MdiArea()->setActiveSubWindow(main.Children()[0]);
  main.UpdateStatus();
  EXPECT_TRUE(main.stImageInfo->text().startsWith(" 512 x 768 pixel - 1.5MBを消費 - "))
      << main.stImageInfo->text().toStdString();
  EXPECT_TRUE(main.stImageInfo->text().endsWith("MBの空き"));
  EXPECT_EQ(main.FilterBox()->Target(), main.Children()[0]);

  main.actCloneExecute();
  ASSERT_EQ(main.Children().size(), 2);
  TKWChild* clone = main.Children()[1];
  EXPECT_EQ(clone->windowTitle().toStdString().substr(0, 6), "New - ");
  EXPECT_EQ(clone->CurrentImage()->OperationName, "複製");
  EXPECT_EQ(clone->CurrentImage()->UndoLimit, UndoLimitOption);

  QGuiApplication::clipboard()->clear();
  main.actNewExecute();
  TKWChild* fresh = main.ActiveChild();
  ASSERT_NE(fresh, nullptr);
  EXPECT_EQ(fresh->CurrentImage()->Width(), 320);
  EXPECT_EQ(fresh->CurrentImage()->Height(), 240);
  EXPECT_EQ(fresh->CurrentImage()->FileName, "New");
  main.UpdateStatus();
  EXPECT_TRUE(main.stImageInfo->text().startsWith(" 320 x 240 pixel - 300KBを消費"));
  // Only the active document's keys are in force.
  EXPECT_EQ(fresh->actUndo->shortcut(), QKeySequence("Ctrl+Z"));
  EXPECT_TRUE(clone->actUndo->shortcut().isEmpty());
  main.MdiArea()->setActiveSubWindow(clone);
  EXPECT_TRUE(fresh->actUndo->shortcut().isEmpty());
  EXPECT_EQ(clone->actUndo->shortcut(), QKeySequence("Ctrl+Z"));
  // The document's menus are merged into the main menu.
  bool found = false;
  for (QAction* a : main.menuBar()->actions())
    if (a->text() == "アルファチャンネル(&A)") found = true;
  EXPECT_TRUE(found);
}

TEST_F(ParentFixture, ZoomToFitWhenTheImageIsLargerThanTheClientArea) {
  TKWChild::WriteResume = false;
  TKWParent main;
  main.resize(800, 600);
  main.show();
  const std::string f = data.path("huge.bmp");
  WritePatternBmp(f, 3000, 2000, 1);
  main.OpenFiles({QString::fromStdString(f)});
  TKWChild* d = main.Children()[0];
  EXPECT_LT(d->imiImage->ZoomRate(), 1.0f);
  EXPECT_LE(d->geometry().right(), main.MdiArea()->viewport()->width());
  EXPECT_LE(d->geometry().bottom(), main.MdiArea()->viewport()->height());
}

TEST_F(ParentFixture, ZoomCommandsKeepTheirZoomInsideTheMainWindow) {
  TKWChild::WriteResume = false;
  TKWParent main;
  main.resize(900, 700);
  main.show();
  const std::string f = data.path("small.bmp");
  WritePatternBmp(f, 100, 80, 1);
  main.OpenFiles({QString::fromStdString(f)});
  TKWChild* d = main.Children()[0];
  d->actZoom400->trigger();
  EXPECT_FLOAT_EQ(d->imiImage->ZoomRate(), 4.0f);
  EXPECT_EQ(d->windowTitle().toStdString(), "small.bmp - 400%  |  開く");
  EXPECT_EQ(d->imiImage->width(), 400);
  d->actZoomIn->trigger();
  EXPECT_EQ(d->windowTitle().toStdString(), "small.bmp - 566%  |  開く");
  // The window grows no further than the client area; scroll bars take over.
  EXPECT_LE(d->geometry().right(), main.MdiArea()->viewport()->width());
  d->actZoomClient->trigger();
  EXPECT_LT(d->imiImage->ZoomRate(), 5.0f);
}

TEST_F(ParentFixture, DroppedFilesOpenAsDocuments) {
  TKWChild::WriteResume = false;
  TKWParent main;
  main.show();
  WritePatternBmp(data.path("d1.bmp"), 9, 9, 1);
  WritePatternBmp(data.path("d2.bmp"), 9, 9, 2);
  QMimeData md;
  md.setUrls({QUrl::fromLocalFile(QString::fromStdString(data.path("d1.bmp"))),
              QUrl::fromLocalFile(QString::fromStdString(data.path("d2.bmp")))});
  QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &md, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&main, &enter);
  EXPECT_TRUE(enter.isAccepted());
  QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &md, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&main, &drop);
  ASSERT_EQ(main.Children().size(), 2);
  EXPECT_EQ(main.Children()[0]->CurrentImage()->FileName, "d1.bmp");
  EXPECT_EQ(main.Children()[1]->CurrentImage()->FileName, "d2.bmp");
}

TEST_F(ParentFixture, ScriptMenuListsTheScriptFolderAndRunsItsFiles) {
  TKWChild::WriteResume = false;
  TKWParent main;
  QDir(QString::fromStdString(data.path(""))).mkpath("Script");
  for (const char* n : {"Script/alpha.kws", "Script/beta.KWS", "Script/readme.txt"}) {
    QFile f(QString::fromStdString(data.path(n)));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  }
  main.ScriptFolder = data.path("Script/");
  QAction editorAction("新規(&N)", &main);
  main.SetScriptActions({&editorAction, nullptr});
  std::vector<std::string> ran;
  main.RunScriptFile = [&](const std::string& p) { ran.push_back(p); };
  QStringList captions;
  QList<QAction*> items;
  for (QAction* a : main.miScript->actions())
    if (!a->isSeparator() && a != &editorAction) {
      captions << a->text();
      items << a;
    }
  captions.sort();
  EXPECT_EQ(captions, QStringList({"alpha", "beta"}));
  for (QAction* a : items) a->trigger();
  std::sort(ran.begin(), ran.end());
  ASSERT_EQ(ran.size(), 2u);
  EXPECT_EQ(ran[0], data.path("Script/alpha.kws"));
  EXPECT_EQ(ran[1], data.path("Script/beta.KWS"));
}

TEST_F(ParentFixture, BusyDocumentStaysVisibleWithoutCloseBox) {
  TKWChild::WriteResume = false;
  TKWParent main;
  main.show();
  WritePatternBmp(data.path("b.bmp"), 9, 9, 1);
  main.OpenFiles({QString::fromStdString(data.path("b.bmp"))});
  TKWChild* d = main.Children()[0];
  d->SetBusy(true);
  EXPECT_TRUE(d->isVisible());
  EXPECT_FALSE(d->windowFlags() & Qt::WindowCloseButtonHint);
  EXPECT_FALSE(d->close());
  d->SetBusy(false);
  EXPECT_TRUE(d->isVisible());
  EXPECT_TRUE(d->windowFlags() & Qt::WindowCloseButtonHint);
}
