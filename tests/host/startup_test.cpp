// The start-up sequence: windows in their order, the splash counting along,
// packages loaded into the boxes and menus, and everything released again.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QMenu>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>

#include <deque>

#include <QMdiArea>
#include <QFile>

#include "document/kwchild.h"
#include "document/kwparent.h"
#include "document/kwpaths.h"
#include "host/filterbox.h"
#include "host/generatorbox.h"
#include "host/mixerbox.h"
#include "image/kwimage.h"
#include "host/procbox.h"
#include "host/program.h"
#include "platform/sysutils.h"
#include "ui/messages.h"
#include "ui/splash.h"

namespace {
void ensureApp() {
  static int argc = 1;
  static char arg0[] = "startup_tests";
  static char* argv[] = {arg0, nullptr};
  if (!QApplication::instance()) new QApplication(argc, argv);
}
}  // namespace

TEST(Splash, FadesInByFourUpTo255AndKeepsTheLastValue) {
  ensureApp();
  TKWSplash splash{QImage()};
  EXPECT_EQ(splash.StateText(), "Loading Units  ...");
  EXPECT_EQ(splash.OpacityValue(), 32);
  EXPECT_NEAR(splash.windowOpacity(), 32 / 255.0, 0.01);
  for (int i = 0; i < 55; ++i) splash.Advance();
  EXPECT_EQ(splash.OpacityValue(), 252);
  splash.Advance();  // 256 is not applied
  EXPECT_EQ(splash.OpacityValue(), 256);
  EXPECT_NEAR(splash.windowOpacity(), 252 / 255.0, 0.01);
  EXPECT_EQ(splash.size(), QSize(320, 240));
  EXPECT_TRUE(splash.windowFlags() & Qt::WindowStaysOnTopHint);
  EXPECT_TRUE(splash.windowFlags() & Qt::FramelessWindowHint);
}

TEST(Startup, CreatesWindowsInOrderThenLoadsThePackages) {
  ensureApp();
  std::vector<std::pair<QString, int>> shown;
  TKWSplash splash{TKWProgram::LogoImage()};
  EXPECT_EQ(splash.Picture().size(), QSize(320, 240));
  QObject::connect(&splash, &TKWSplash::StateShown,
                   [&shown](const QString& t, int o) { shown.push_back({t, o}); });
  {
    TKWProgram program;
    program.Start(&splash, TESTPKG_DIR);
    std::vector<QString> expected = {
        "Loading Main Window ...",    "Loading About Box ...",      "Loading Filter Box ...",
        "Loading Mixer Box ...",      "Loading Generator Box ...",  "Loading AC Value Dialog ...",
        "Loading Script Editor ...",  "Loading Tool Box ...",       "Loading Album Box ...",
        "Loading Option Dialog ...",  "Loading Readme Window ...",  "Loading Processors ..."};
    ASSERT_GE(shown.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
      EXPECT_EQ(shown[i].first, expected[i]) << i;
      // Every window is announced before the splash advances.
      EXPECT_EQ(shown[i].second, 32 + 4 * int(i)) << i;
    }
    // "Loading Processors ..." does not advance; each record does.
    EXPECT_EQ(shown[12].first, "Loading TestInvert ...");
    EXPECT_EQ(shown[12].second, 32 + 4 * 11);
    EXPECT_EQ(shown.back().first, "Execute ...");
    EXPECT_EQ(shown.back().second, 32 + 4 * (11 + 10));  // two packages, five records each

    TKWParent* main = program.MainWindow();
    ASSERT_NE(main, nullptr);
    EXPECT_EQ(main->objectName(), "TKWParent");
    EXPECT_EQ(program.Manager().Filters.Count(), 4);
    EXPECT_EQ(program.FilterBox()->PageCount(), 4);
    EXPECT_EQ(program.FilterBox()->PageControl()->currentIndex(), 0);
    EXPECT_EQ(program.Manager().Mixers.Count(), 2);
    // The processors' menu actions follow the menus' own items.
    int filterItems = 0;
    for (QAction* a : main->miFilter->actions())
      if (a->text().startsWith(QString::fromUtf8("テスト反転"))) ++filterItems;
    EXPECT_EQ(filterItems, 2);
    // The script language's keywords are in the manager's tables.
    EXPECT_GT(program.Manager().Keywords2.Count(), 0);

    // First showing: tool windows, then the resume, then the end of start-up.
    std::vector<std::string> later;
    bool done = false;
    main->StartupState = [&later](const std::string& t) { later.push_back(t); };
    main->StartupDone = [&done] { done = true; };
    main->show();
    for (int i = 0; i < 50 && !done; ++i) QApplication::processEvents();
    EXPECT_TRUE(done);
    std::vector<std::string> expectedLater = {"Showing Script Editor ...", "Showing Generator Box ...",
                                              "Showing Mixer Box ...", "Showing Filter Box ...",
                                              "Loading Resume Data ..."};
    EXPECT_EQ(later, expectedLater);
    main->close();
  }
  // The packages were finalized and unloaded with the program.
  SUCCEED();
}

TEST(Startup, ExitClosesTheProgramWhileTheMixerBoxHoldsDocuments) {
  ensureApp();
  QTemporaryDir data;
  SetKWDataDir(data.path().toStdString());
  // Questions are answered the way a modal box does it: the event loop runs
  // while the box is open.
  std::vector<std::string> shown;
  std::deque<TMsgResult> answers;
  TMessageHandler old = SetMessageHandler([&](TMsgKind, const std::string&, const std::string& t, bool) {
    shown.push_back(t);
    for (int i = 0; i < 5; ++i) QApplication::processEvents();
    TMsgResult a = answers.empty() ? TMsgResult::Ok : answers.front();
    if (!answers.empty()) answers.pop_front();
    return a;
  });
  {
    TKWProgram program;
    program.Start(nullptr, TESTPKG_DIR);
    TKWParent* main = program.MainWindow();
    bool done = false;
    main->StartupDone = [&done] { done = true; };
    main->show();
    for (int i = 0; i < 50 && !done; ++i) QApplication::processEvents();
    auto doc = [main](const char* name, bool modified) {
      TKWChild* c = main->CreateChild();
      TBitmap b;
      b.SetPixelFormat(pf32bit);
      b.SetSize(8, 8);
      c->SetImage(b, name, "t");
      c->SetModified(modified);
      return c;
    };
    doc("m1.bmp", true);
    doc("m2.bmp", true);
    TKWChild* bg = doc("bg.bmp", false);
    TKWChild* fg = doc("fg.bmp", true);
    main->MdiArea()->setActiveSubWindow(bg);
    program.MixerBox()->bbtBGImageClick();
    main->MdiArea()->setActiveSubWindow(fg);
    program.MixerBox()->bbtFGImageClick();

    // Closing a chosen document says why it stays.
    EXPECT_FALSE(bg->close());
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_NE(shown[0].find("bg.bmpはミキサーの背景画像として選ばれているため閉じられません。"), std::string::npos)
        << shown[0];
    // An exit given up at the second question leaves both documents chosen.
    shown.clear();
    answers = {TMsgResult::No, TMsgResult::Cancel};
    EXPECT_FALSE(main->close());
    EXPECT_EQ(shown.size(), 2u);
    EXPECT_TRUE(bg->Busy);
    EXPECT_TRUE(fg->Busy);
    // Answering No to each of the three questions ends the program.
    shown.clear();
    answers = {TMsgResult::No, TMsgResult::No, TMsgResult::No};
    EXPECT_TRUE(main->close());
    EXPECT_EQ(shown.size(), 3u);
    EXPECT_TRUE(main->Children().isEmpty());
  }
  SetMessageHandler(old);
  SetKWDataDir("");
}

TEST(Startup, TheMainWindowReadsImagesThroughThePluginsItLoaded) {
  ensureApp();
  if (std::system("command -v convert > /dev/null 2>&1") != 0) GTEST_SKIP() << "ImageMagick's convert is needed";
  QTemporaryDir data;
  SetKWDataDir(data.path().toStdString());
  const QString plugins = data.path() + "/share/Varoka/Plugins";
  QDir().mkpath(plugins);
  ASSERT_TRUE(QFile::copy(KW_BIN_DIR_DEFAULT "/ifgif.spi", plugins + "/ifgif.spi"));
  const QString gif = data.path() + "/land.gif";
  ASSERT_EQ(std::system(("convert -size 30x20 gradient:red-blue '" + gif.toStdString() + "'").c_str()), 0);
  const QByteArray oldXdg = qgetenv("XDG_DATA_HOME");
  qputenv("XDG_DATA_HOME", (data.path() + "/share").toLocal8Bit());
  {
    TKWProgram program;
    program.Start(nullptr, TESTPKG_DIR);
    TKWParent* main = program.MainWindow();
    // The open dialog offers the plug-in's format with the images.
    EXPECT_TRUE(main->dlgOpen.ShownFilter().section('|', 1, 1).contains("*.gif"))
        << main->dlgOpen.ShownFilter().toStdString();
    main->OpenFiles({gif});
    ASSERT_EQ(main->Children().size(), 1);
    EXPECT_EQ(main->Children()[0]->imiImage->Image()->Width(), 30);
    TKWChild::WriteResume = false;
    main->close();
    TKWChild::WriteResume = true;
  }
  qputenv("XDG_DATA_HOME", oldXdg);
  SetKWDataDir("");
}

TEST(Startup, ClosingWhileTheJuliaSetIsComputedEndsTheProgram) {
  ensureApp();
  QTemporaryDir data;
  QDir(data.path()).mkpath("ProcLib");
  SetKWDataDir(data.path().toStdString());
  SetExecutableDir(data.path().toStdString() + "/");
  int rc = -1;
  bool busyWhenClosed = false;
  {
    TKWProgram program;
    program.Start(nullptr, KW_PROCLIB_DIR);
    TKWParent* main = program.MainWindow();
    main->show();
    // Many points of z -> cos z never escape: with this limit the image
    // takes minutes, a row of 64 points well under a second.
    program.GeneratorBox()->edrWidth->setText("64");
    main->findChild<QWidget*>("rgMethod")->findChildren<QRadioButton*>()[1]->click();
    main->findChild<QLineEdit*>("edrCReal")->setText("1");
    main->findChild<QLineEdit*>("edrCImage")->setText("0");
    main->findChild<QComboBox*>("cbLimit")->setCurrentText("100000");
    QAction* julia = nullptr;
    for (QAction* a : main->miGenerator->actions())
      if (a->text() == QString::fromUtf8("ジュリア集合")) julia = a;
    ASSERT_NE(julia, nullptr);
    QTimer::singleShot(0, julia, &QAction::trigger);
    // The status bar shows the generation's progress (reported every 2 s);
    // the program closes while it goes on.
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, main, [&] {
      if (main->pbProgress->value() <= 0) return;
      poll.stop();
      busyWhenClosed = QApplication::overrideCursor() != nullptr;  // the generation's wait cursor
      main->close();
    });
    poll.start(20);
    QTimer::singleShot(60000, [] { QCoreApplication::exit(3); });  // not reached when all is well
    rc = QApplication::exec();
    EXPECT_TRUE(main->Children().isEmpty());  // no document from the abandoned generation
  }
  EXPECT_TRUE(busyWhenClosed);
  EXPECT_EQ(rc, 0);
  SetKWDataDir("");
  SetExecutableDir("");
}
