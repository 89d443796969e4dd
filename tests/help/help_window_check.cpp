// The Help menu of the real main window (offscreen): each of the three
// entries shows its text from the program folder in the readme window, every
// line of which fits the window at its default size; the about box shows
// the picture, the version KW --version prints, the libraries and the
// licence.  With KW_SCREENSHOT_DIR set, the windows are saved there as PNG.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QFontMetrics>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

#include "document/kwparent.h"
#include "host/program.h"
#include "platform/sysutils.h"
#include "procdef/kwdatadir.h"

namespace {

// Never destroyed: Qt's own statics go first at exit.
void App() {
  static int argc = 1;
  static char name[] = "help_window_test";
  static char* argv[] = {name, nullptr};
  if (!QApplication::instance()) new QApplication(argc, argv);
}

void Shot(QWidget* w, const QString& name) {
  const QByteArray dir = qgetenv("KW_SCREENSHOT_DIR");
  if (!dir.isEmpty()) w->grab().save(QString::fromLocal8Bit(dir) + "/" + name + ".png");
}

std::string KWVersion() {
  FILE* p = ::popen("'" KW_BIN_DIR_DEFAULT "/KW' --version", "r");
  char buf[256] = {};
  size_t n = p ? std::fread(buf, 1, sizeof buf - 1, p) : 0;
  if (p) ::pclose(p);
  std::string s(buf, n);
  while (!s.empty() && s.back() == '\n') s.pop_back();
  return s;  // "Varoka 0.1.0"
}

TEST(HelpMenu, ShowsTheThreeTextsAndTheAboutBox) {
  App();
  QTemporaryDir data;
  SetExecutableDir(KW_BIN_DIR_DEFAULT);
  KWSetDataDir(data.path().toStdString());
  {
    TKWProgram program;
    program.Start(nullptr, KW_BIN_DIR_DEFAULT "/ProcLib/");
    TKWParent* main = program.MainWindow();
    main->show();
    struct Entry {
      QAction* action;
      const char* file;
      const char* contains;
    };
    for (const Entry& e : {Entry{main->miReadme, "Readme.txt", "KW --run SCRIPT.kws [引数]..."},
                           Entry{main->miProcRef, "KWProc.txt", "■ NegativeColor  「ネガポジ反転」 フィルタ"},
                           Entry{main->miScriptRef, "KWScript.txt", "◆ GETARGUMENT  (別名 ARGUMENT, ARG)"}}) {
      e.action->trigger();
      QWidget* w = nullptr;
      for (QWidget* t : QApplication::topLevelWidgets())
        if (t->objectName() == "ReadmeWindow" && t->isVisible() && t->windowTitle() == e.file) w = t;
      ASSERT_NE(w, nullptr) << e.file;
      auto* text = w->findChild<QPlainTextEdit*>();
      ASSERT_NE(text, nullptr);
      const QString content = text->toPlainText();
      EXPECT_TRUE(content.contains(QString::fromUtf8(e.contains))) << e.file;
      // Read at the default size: no line is wider than the window.
      QApplication::processEvents();
      const QFontMetrics fm(text->font());
      const int room = text->viewport()->width() - 2 * int(text->document()->documentMargin());
      int widest = 0;
      QString widestLine;
      for (const QString& line : content.split('\n')) {
        const int wpx = fm.horizontalAdvance(line);
        if (wpx > widest) widest = wpx, widestLine = line;
      }
      EXPECT_LE(widest, room) << e.file << ": " << widestLine.toStdString();
      Shot(w, QString(e.file).replace(".txt", ""));
      w->close();
    }

    // The about box is modal: look at it once it is up, then close it.
    QString version, libraries, licence;
    bool picture = false;
    QTimer::singleShot(0, [&] {
      QWidget* box = QApplication::activeModalWidget();
      if (!box || box->objectName() != "AboutBox") return;
      for (QLabel* l : box->findChildren<QLabel*>()) {
        if (l->objectName() == "lbName") version = l->text();
        if (l->objectName() == "lbLibraries") libraries = l->text();
        if (l->objectName() == "lbLicence") licence = l->text();
        if (l->objectName() == "imPicture") picture = l->pixmap().size() == QSize(320, 240);
      }
      Shot(box, "About");
      static_cast<QDialog*>(box)->accept();
    });
    main->miAbout->trigger();
    const std::string v = KWVersion();
    ASSERT_EQ(v.rfind("Varoka ", 0), 0u);
    EXPECT_TRUE(version.contains(QString::fromStdString(v.substr(7)))) << version.toStdString();
    EXPECT_TRUE(picture);
    for (const char* lib : {"Qt ", "libjpeg", "libpng ", "zlib ", "giflib "})
      EXPECT_TRUE(libraries.contains(lib)) << lib << " in " << libraries.toStdString();
    EXPECT_TRUE(licence.contains("ライセンス")) << licence.toStdString();
  }
  KWSetDataDir("");
  SetExecutableDir("");
}

}  // namespace
