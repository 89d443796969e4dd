// The main window as a user meets it: placement on the screen, document
// windows that show their image and caption, the window menu, zooming with
// the wheel, the alpha view, held documents, the save dialog's file types,
// the script editor's size, log tabs and error lines.  The real program
// (TKWProgram) on the offscreen platform.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMdiArea>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>

#include <deque>

#include "document/intedit.h"
#include "document/kwchild.h"
#include "document/kwdialogs.h"
#include "document/kwparent.h"
#include "document/kwpaths.h"
#include "document/optiondlg.h"
#include "host/filterbox.h"
#include "host/generatorbox.h"
#include "host/mixerbox.h"
#include "host/program.h"
#include "image/kwimage.h"
#include "platform/sysutils.h"
#include "procdef/multiuserini.h"
#include "script/scredit.h"
#include "ui/appearance.h"
#include "ui/messages.h"

namespace {

void ensureApp() {
  static int argc = 1;
  static char arg0[] = "mainwindow_tests";
  static char* argv[] = {arg0, nullptr};
  if (!QApplication::instance()) new QApplication(argc, argv);
}

// The program started and shown in a settings folder of its own; messages
// are recorded and answered from a queue (default OK).
struct Session {
  QTemporaryDir data;
  std::vector<std::string> shown;
  std::deque<TMsgResult> answers;
  TMessageHandler old;
  std::unique_ptr<TKWProgram> program;

  explicit Session(const std::string& ini = std::string(), const QTemporaryDir* dir = nullptr) {
    ensureApp();
    const QString path = dir ? dir->path() : data.path();
    SetKWDataDir(path.toStdString());
    if (!ini.empty()) {
      FILE* f = std::fopen((path + "/KW.ini").toLocal8Bit().constData(), "w");
      std::fputs(ini.c_str(), f);
      std::fclose(f);
    }
    old = SetMessageHandler([this](TMsgKind, const std::string&, const std::string& t, bool) {
      shown.push_back(t);
      TMsgResult a = answers.empty() ? TMsgResult::Ok : answers.front();
      if (!answers.empty()) answers.pop_front();
      return a;
    });
    program = std::make_unique<TKWProgram>();
    program->Start(nullptr, TESTPKG_DIR);
    bool done = false;
    main()->StartupDone = [&done] { done = true; };
    main()->show();
    for (int i = 0; i < 100 && !done; ++i) QApplication::processEvents();
    EXPECT_TRUE(done);
  }
  ~Session() {
    TKWChild::WriteResume = false;
    for (TKWChild* c : main()->Children()) c->Modified = false;
    if (program->MixerBox()) program->MixerBox()->ProgramClosing(true);
    main()->close();
    TKWChild::WriteResume = true;
    program.reset();
    SetMessageHandler(old);
    SetKWDataDir("");
  }
  TKWParent* main() const { return program->MainWindow(); }
  // A document opened from a BMP file of w x h pixels.
  TKWChild* open(const std::string& name, int w, int h) {
    TKWBitmap b;
    b.SetPixelFormat(pf32bit);
    b.SetSize(w, h);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) b.Row32(y)[x] = uint32_t(x * 7 + y * 13) & 0x00FFFFFF;
    const std::string file = data.path().toStdString() + "/" + name;
    static_cast<const TKWBitmap&>(b).SaveToFile(file);
    const int before = main()->Children().size();
    main()->OpenFiles({QString::fromStdString(file)});
    QApplication::processEvents();
    EXPECT_EQ(main()->Children().size(), before + 1);
    return main()->Children().isEmpty() ? nullptr : main()->Children().back();
  }
};

QRect inParent(const QWidget* w) { return QRect(w->pos(), w->size()); }

}  // namespace

TEST(MainWindow, FitsTheScreenAndOpensDocumentsThatShowTheirImage) {
  // A placement written on a much larger screen.
  Session s(
      "[MainWindow]\nWindowState=0\nNormalLeft=300\nNormalTop=200\nNormalRight=2900\nNormalBottom=1800\n");
  TKWParent* main = s.main();
  const QRect avail = QGuiApplication::primaryScreen()->availableGeometry();
  EXPECT_TRUE(avail.contains(main->frameGeometry())) << main->frameGeometry().width() << "x"
                                                     << main->frameGeometry().height();
  // The program's own icon, and the toolkit's buttons in Japanese.
  EXPECT_EQ(QApplication::windowIcon().pixmap(32, 32).toImage().convertToFormat(QImage::Format_ARGB32),
            KWIconImage(32).convertToFormat(QImage::Format_ARGB32));
  QMessageBox box;
  box.setStandardButtons(QMessageBox::Cancel);
  EXPECT_EQ(box.button(QMessageBox::Cancel)->text().toStdString(), "キャンセル");

  // A large image: its window lies in the client area, shows its caption,
  // takes a good part of the area and a zoom that fills it.
  const QRect client = main->MdiArea()->viewport()->rect();
  TKWChild* big = s.open("big.bmp", 3000, 2000);
  ASSERT_NE(big, nullptr);
  EXPECT_TRUE(client.contains(inParent(big))) << inParent(big).x() << "," << inParent(big).y();
  EXPECT_EQ(big->windowTitle().toStdString().rfind("big.bmp - ", 0), 0u);
  EXPECT_GE(big->width(), client.width() / 2);
  EXPECT_GT(big->imiImage->ZoomRate(), 0.1f);
  // Documents opened after it still get windows of a useful size, and a
  // tiny image a window whose caption can be read.
  for (int i = 0; i < 6; ++i) {
    TKWChild* c = s.open("more" + std::to_string(i) + ".bmp", 1200, 900);
    EXPECT_TRUE(client.contains(inParent(c)));
    EXPECT_GE(c->width() * c->height(), client.width() * client.height() / 5) << i;
  }
  TKWChild* tiny = s.open("Flower.bmp", 12, 9);
  const QFontMetrics fm(QApplication::font("QMdiSubWindowTitleBar"));
  EXPECT_GT(tiny->width(), fm.horizontalAdvance(tiny->windowTitle()));
  EXPECT_GE(tiny->height(), 120);

  // The window menu: its commands, then the documents, the active one checked.
  QMetaObject::invokeMethod(main->miWindow, "aboutToShow");
  QStringList items;
  QString checked;
  QAction* bigItem = nullptr;
  for (QAction* a : main->miWindow->actions()) {
    if (a->isSeparator()) continue;
    items << a->text();
    if (a->isChecked()) checked = a->text();
    if (a->text().endsWith("big.bmp")) bigItem = a;
  }
  EXPECT_EQ(items.mid(0, 4),
            QStringList({"重ねて表示(&C)", "並べて表示(&T)", "アイコンの整列(&A)", "閉じる(&L)"}));
  EXPECT_EQ(items.size(), 4 + 8);
  EXPECT_EQ(checked, "&8 Flower.bmp");
  ASSERT_NE(bigItem, nullptr);
  bigItem->trigger();
  EXPECT_EQ(main->ActiveChild(), big);
  main->actTile->trigger();
  for (TKWChild* c : main->Children()) EXPECT_TRUE(client.contains(inParent(c)));
}

TEST(MainWindow, ZoomAlphaViewHoldingAndSavingAsAUserDoes) {
  Session s;
  TKWParent* main = s.main();
  TKWChild* doc = s.open("pic.bmp", 400, 300);
  ASSERT_NE(doc, nullptr);
  doc->SetZoom(1);
  doc->FitWindow(false);
  QApplication::processEvents();

  // Ctrl + wheel: one zoom step about the pointer.
  QWidget* vp = doc->sbxImage->viewport();
  const QPoint at(vp->width() / 3, vp->height() / 3);
  const QPoint before = doc->imiImage->SourcePixel(doc->imiImage->mapFrom(vp, at).x(),
                                                   doc->imiImage->mapFrom(vp, at).y());
  QWheelEvent wheel(at, vp->mapToGlobal(at), QPoint(), QPoint(0, 120), Qt::NoButton, Qt::ControlModifier,
                    Qt::NoScrollPhase, false);
  QApplication::sendEvent(vp, &wheel);
  EXPECT_FLOAT_EQ(doc->imiImage->ZoomRate(), float(ZoomStep));
  const QPoint after = doc->imiImage->SourcePixel(doc->imiImage->mapFrom(vp, at).x(),
                                                  doc->imiImage->mapFrom(vp, at).y());
  EXPECT_LE((after - before).manhattanLength(), 2)
      << after.x() << "," << after.y() << " before " << before.x() << "," << before.y();
  EXPECT_NE(doc->windowTitle().indexOf(" - 141%"), -1);

  // A zoom of 0 % is refused with a message; the dialog stays until 50.
  s.shown.clear();
  QTimer::singleShot(0, [] {
    ZoomDlg().edZoom->setText("0");
    ZoomDlg().accept();
    ZoomDlg().edZoom->setText("50");
    ZoomDlg().accept();
  });
  doc->actFreeZoom->trigger();
  ASSERT_EQ(s.shown.size(), 1u);
  EXPECT_NE(s.shown[0].find("表示倍率"), std::string::npos);
  EXPECT_FLOAT_EQ(doc->imiImage->ZoomRate(), 0.5f);

  // The alpha view is a checked state and shows in the caption.
  doc->actACCreateHarf->trigger();
  doc->actACShow->trigger();
  EXPECT_TRUE(doc->actACShow->isChecked());
  EXPECT_TRUE(doc->windowTitle().contains("[アルファチャンネル表示]"));
  doc->actZoom100->trigger();
  EXPECT_FALSE(doc->actACShow->isChecked());
  EXPECT_FALSE(doc->windowTitle().contains("アルファチャンネル"));
  // Transparent parts over a checkerboard, when asked for.
  auto corner = [doc] { return doc->imiImage->grab(QRect(0, 0, 16, 16)).toImage(); };
  doc->actACCreateValue->setEnabled(true);
  doc->CreateAlphaByValue(0);
  const QImage plain = corner();
  CheckerBackground = true;
  const QImage checker = corner();
  CheckerBackground = false;
  const QPoint src = doc->imiImage->SourcePixel(1, 1);
  EXPECT_EQ(plain.pixel(1, 1), doc->CurrentImage()->Row32(src.y())[src.x()] | 0xFF000000u);
  EXPECT_EQ(checker.pixel(1, 1), qRgb(204, 204, 204));
  EXPECT_EQ(checker.pixel(9, 1), qRgb(255, 255, 255));

  // Applying a filter leaves the window's buttons as they were; while busy
  // it has no close button.
  const Qt::WindowFlags flags = doc->windowFlags();
  doc->SetBusy(true);
  EXPECT_FALSE(doc->windowFlags() & Qt::WindowCloseButtonHint);
  EXPECT_TRUE(doc->windowFlags() & Qt::WindowMinimizeButtonHint);
  doc->SetBusy(false);
  main->actDoFilter->trigger();
  EXPECT_EQ(doc->CurrentImage()->Prev != nullptr, true);
  EXPECT_EQ(doc->windowFlags(), flags);

  // Held by the mixer box: the caption says so, the menu lets it go, and
  // closing asks whether to let it go.
  main->MdiArea()->setActiveSubWindow(doc);
  s.program->MixerBox()->bbtBGImageClick();
  EXPECT_TRUE(doc->windowTitle().contains("[ミキサーの背景画像]"));
  EXPECT_TRUE(doc->actRelease->isEnabled());
  doc->actRelease->trigger();
  EXPECT_FALSE(doc->Busy);
  EXPECT_EQ(s.program->MixerBox()->BackgroundDoc(), nullptr);
  EXPECT_FALSE(doc->windowTitle().contains("ミキサー"));
  s.program->MixerBox()->bbtBGImageClick();
  s.shown.clear();
  s.answers = {TMsgResult::No};
  main->activateWindow();
  QApplication::setActiveWindow(main);
  QTest::keyClick(doc->sbxImage->viewport(), Qt::Key_W, Qt::ControlModifier);
  ASSERT_EQ(s.shown.size(), 1u);
  EXPECT_NE(s.shown[0].find("ミキサーから外して閉じますか?"), std::string::npos);
  EXPECT_TRUE(main->Children().contains(doc));
  doc->Modified = false;
  s.answers = {TMsgResult::Yes};
  EXPECT_TRUE(doc->CloseQuery());
  EXPECT_EQ(s.program->MixerBox()->BackgroundDoc(), nullptr);
  // Ctrl+W closes a document that nothing holds.
  TKWChild* spare = s.open("spare.bmp", 30, 20);
  main->MdiArea()->setActiveSubWindow(spare);
  QPointer<TKWChild> gone = spare;
  QTest::keyClick(spare->sbxImage->viewport(), Qt::Key_W, Qt::ControlModifier);
  QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(gone.isNull());

  // The save dialog shows .jpg and .jpeg files, and a name without an
  // extension takes the chosen type's (JPEG, the third entry).
  const QStringList first = main->dlgSave.ShownFilter().split('|')[1].split(';');
  EXPECT_TRUE(first.contains("*.jpg") && first.contains("*.jpeg")) << first.join(';').toStdString();
  const std::string out = s.data.path().toStdString() + "/saved";
  TKWFileDialog::Hook = [&out](TKWFileDialog& d) {
    d.Files = {QString::fromStdString(out)};
    d.SelectedFilter = 2;
    return true;
  };
  doc->actSaveAs->trigger();
  TKWFileDialog::Hook = nullptr;
  EXPECT_TRUE(FileExists(out + ".jpg"));
  EXPECT_EQ(doc->windowTitle().toStdString().rfind("saved.jpg - ", 0), 0u);
  EXPECT_EQ(main->lbStatus->text(), " Ready ");

  // The options that mean nothing here are shown disabled, with the reason.
  TKWOptionDlg* opt = main->OptionDlg();
  opt->FillControls();
  EXPECT_FALSE(opt->cbReadmeAlpha->text().contains("Win"));
  EXPECT_EQ(opt->cbReadmeAlpha->isEnabled(), TranslucentWindowsPossible());
  if (!TranslucentWindowsPossible()) {
    EXPECT_FALSE(opt->cbReadmeAlpha->toolTip().isEmpty());
  }
  EXPECT_FALSE(opt->cbCheckerBackground->isChecked());
}

// A size no image can have (the box takes four characters, so too small):
// the generator menu's items say so, whether they make a new document or
// draw into the current one, and nothing changes.
TEST(MainWindow, AGeneratorAtAnImpossibleSizeShowsWhyAndChangesNothing) {
  Session s;
  TKWChild* doc = s.open("g.bmp", 30, 20);
  ASSERT_NE(doc, nullptr);
  TGeneratorBox* box = s.program->GeneratorBox();
  ASSERT_NE(box->CurrentGenerator(), nullptr);
  box->cbUseSrcSize->setChecked(false);
  const uint32_t pixel = doc->CurrentImage()->Row32(3)[3];
  for (const char* size : {"0", "-5"}) {
    box->edrWidth->setText(size);
    box->edrHeight->setText("480");
    s.shown.clear();
    s.main()->actGenerateNew->trigger();
    s.main()->actGenerateCur->trigger();
    QApplication::processEvents();
    ASSERT_EQ(s.shown.size(), 2u) << size;
    for (const std::string& m : s.shown)
      EXPECT_NE(m.find(std::string("生成する画像の大きさ ") + size + " x 480 は作成できません。"), std::string::npos) << m;
    EXPECT_EQ(s.main()->Children().size(), 1);
    EXPECT_EQ(doc->CurrentImage()->Width(), 30);
    EXPECT_EQ(doc->CurrentImage()->Row32(3)[3], pixel);
    EXPECT_EQ(doc->CurrentImage()->Prev, nullptr);
  }
}

TEST(MainWindow, ScriptEditorKeepsItsHeightNamesLogTabsAndShowsTheFailingLine) {
  QTemporaryDir keep;
  int stored = 0;
  {
    Session s(std::string(), &keep);
    TScriptEditor* ed = s.program->ScriptEditor();
    // Opens tall enough for a useful number of lines.
    ed->actScrNew->trigger();
    QApplication::processEvents();
    QPlainTextEdit* memo = ed->ActiveView()->seScript;
    EXPECT_GE(memo->viewport()->height() / memo->fontMetrics().lineSpacing(), 10)
        << memo->viewport()->height();
    // Two documents' logs: two tabs, each named after its document.
    TKWChild* a = s.open("a.bmp", 20, 20);
    TKWChild* b = s.open("b.bmp", 20, 20);
    a->actLogCreate->trigger();
    b->actLogCreate->trigger();
    a->actLogCreate->trigger();
    const int n = ed->TabCount();
    EXPECT_EQ(ed->TabCaption(n - 3), "Log - a.bmp");
    EXPECT_EQ(ed->TabCaption(n - 2), "Log - b.bmp");
    EXPECT_EQ(ed->TabCaption(n - 1), "Log - a.bmp (2)");
    // A script that stops on an error: the line is selected and numbered.
    ed->actScrNew->trigger();
    ed->ActiveView()->seScript->setPlainText("VALUE V\n= V 1\n= V NOSUCHNAME\n= V 2");
    s.shown.clear();
    ed->actScrExecute->trigger();
    ASSERT_EQ(s.shown.size(), 1u);
    EXPECT_NE(s.shown[0].find("(3行目)"), std::string::npos) << s.shown[0];
    EXPECT_EQ(ed->ActiveView()->seScript->textCursor().selectedText(), "= V NOSUCHNAME");
    // The user makes it taller; the next start keeps that height.
    stored = ed->height() + 40;
    s.main()->resizeDocks({ed}, {stored}, Qt::Vertical);
    QApplication::processEvents();
    stored = ed->height();
    TKWChild::WriteResume = false;
  }
  {
    Session s(std::string(), &keep);
    QApplication::processEvents();
    EXPECT_NEAR(s.program->ScriptEditor()->height(), stored, 2);
  }
}
