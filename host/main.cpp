// Program entry: command-line options, single instance, the start-up
// sequence with its splash window, package loading and the message loop.
#include <cstdio>
#include <cstring>
#include <memory>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include <csignal>

#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QTimer>

#include "document/kwchild.h"
#include "document/kwparent.h"
#include "host/instance.h"
#include "host/signals.h"
#include "host/prcmgr.h"
#include "host/program.h"
#include "imageio/spi.h"
#include "platform/ownedfiles.h"
#include "platform/sysutils.h"
#include "procdef/multiuserini.h"
#include "script/programhost.h"
#include "ui/messages.h"
#include "ui/splash.h"

namespace {

const char* const kUsage =
    "Usage: KW [FILE|FOLDER]...\n"
    "       KW --run SCRIPT.kws [ARG]...\n"
    "       KW --list\n"
    "       KW --help | --version\n"
    "\n"
    "  FILE|FOLDER    open images (folders recursively) in the running program,\n"
    "                 or start it; .kws files open in the script editor\n"
    "  --run SCRIPT   run a script without any window; exit 0 when it ran to its\n"
    "                 end, 1 when it stopped on an error (message on stderr),\n"
    "                 2 for a usage error.  The ARGs reach the script as\n"
    "                 strings (GETARGUMENT, ARGUMENTCOUNT)\n"
    "  --list         list every registered processor and its parameters\n"
    "  --help         this text\n"
    "  --version      the program's version\n";

// Qt wants a private runtime folder; without one from the session it warns
// on stderr, which a batch run keeps for the script's own messages.
void ensureRuntimeDir() {
  if (std::getenv("XDG_RUNTIME_DIR")) return;
  std::string dir = "/tmp/runtime-" + std::to_string(::getuid());
  ::mkdir(dir.c_str(), 0700);
  struct stat st {};
  if (::stat(dir.c_str(), &st) == 0 && st.st_uid == ::getuid() && (st.st_mode & 0777) == 0700)
    setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);
}

// Without a display the program uses Qt's offscreen platform.
void chooseHeadlessPlatform() {
  if (std::getenv("QT_QPA_PLATFORM")) return;
  if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY"))
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
}

// KW --list and KW --run: no window, settings read but never written.
template <class Work>
int runWithoutWindow(int argc, char** argv, Work work) {
  chooseHeadlessPlatform();
  // Only the program's name: the words after a script are the script's,
  // never options for the toolkit ("-style" and the like).
  int appArgc = 1;
  QApplication app(appArgc, argv);
  app.setApplicationName("Varoka");
  KWSetSettingsWritable(false);
  TKWProcessorManager mgr;
  try {
    mgr.LoadProcessors();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  int rc = work(mgr);
  mgr.UnloadPackages();
  return rc;
}

int runGui(int argc, char** argv, const std::vector<std::string>& files) {
  QApplication app(argc, argv);
  app.setApplicationName("Varoka");
  // With windows, messages are boxes and dialogs may wait for the user.
  SetMessageHandler(KWShowQtMessageBox);
  KWSetInteractive(true);

  // Names relative to this process's folder mean nothing to another process.
  QStringList names;
  for (const std::string& f : files) names << QFileInfo(QString::fromStdString(f)).absoluteFilePath();

  TKWInstance instance;
  if (!instance.Acquire()) {
    if (instance.Forward(names)) return 0;
    // The names are not dropped: this start opens them itself.
    std::fprintf(stderr, "Varoka: the running program does not answer; this start opens the files.\n");
  }
  KWRemoveStaleSwapFolders();

  TKWSplash splash{TKWProgram::LogoImage()};
  splash.SetLoading(true);
  splash.show();
  TKWProgram program;
  try {
    program.Start(&splash);
  } catch (const std::exception& e) {
    splash.SetLoading(false);
    splash.hide();
    ShowError(e.what());
    return 1;
  }
  TKWParent* mainWindow = program.MainWindow();

  QObject::connect(&instance, &TKWInstance::FilesReceived, mainWindow, [mainWindow](const QStringList& n) {
    mainWindow->OpenFiles(n);
    mainWindow->show();
    mainWindow->raise();
    mainWindow->activateWindow();
  });
  // The splash window stays until the main window has restored the previous
  // run's documents and shown its tool windows.
  mainWindow->StartupState = [&splash](const std::string& t) { splash.SetState(QString::fromStdString(t)); };
  mainWindow->StartupDone = [mainWindow, &splash] {
    mainWindow->StartupState = nullptr;
    mainWindow->StartupDone = nullptr;
    splash.Finish();
  };
  // Ended from outside (the session, kill): the program closes as at the
  // end of a session, keeping every document in the resume data.
  TKWTerminationSignals termination({SIGTERM, SIGHUP, SIGINT});
  QObject::connect(&termination, &TKWTerminationSignals::Received, mainWindow, [mainWindow](int) {
    mainWindow->EndSession();
  });
  mainWindow->show();
  if (!names.isEmpty())
    QTimer::singleShot(0, mainWindow, [mainWindow, names] { mainWindow->OpenFiles(names); });

  return app.exec();
}

}  // namespace

int main(int argc, char** argv) {
  // Beyond a file size limit a write fails with its own message instead of
  // the process being killed halfway through a file.
  std::signal(SIGXFSZ, SIG_IGN);
  ensureRuntimeDir();
  std::vector<std::string> args(argv + 1, argv + argc);
  if (!args.empty()) {
    const std::string& a = args[0];
    if (a == "--help" || a == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (a == "--version") {
      std::printf("Varoka %s\n", KW_VERSION);
      return 0;
    }
    if (a == "--list") {
      if (args.size() != 1) {
        std::fputs(kUsage, stderr);
        return 2;
      }
      return runWithoutWindow(argc, argv, [](TKWProcessorManager& mgr) {
        std::fputs(mgr.ListText().c_str(), stdout);
        return 0;
      });
    }
    if (a == "--run") {
      if (args.size() < 2) {
        std::fputs(kUsage, stderr);
        return 2;
      }
      std::string script = args[1];
      // Ended from outside, a run removes its swap folder and temporary
      // files first.  Before any thread starts, so that none takes the
      // signals.
      KWEndOnSignalsRemovingOwnedFiles({SIGINT, SIGTERM, SIGHUP});
      KWRemoveStaleSwapFolders();
      const std::vector<std::string> scriptArgs(args.begin() + 2, args.end());
      // A batch run leaves no resume data behind.
      TKWChild::WriteResume = false;
      return runWithoutWindow(argc, argv, [&script, &scriptArgs](TKWProcessorManager& mgr) {
        // Images of every format an installed plug-in reads.
        TSPIs plugins(spsSusieDir | spsAppDir);
        return KWRunScriptCommandLine(mgr, script, scriptArgs);
      });
    }
    if (a.size() > 1 && a[0] == '-') {
      std::fprintf(stderr, "Varoka: unknown option %s\n\n%s", a.c_str(), kUsage);
      return 2;
    }
  }
  return runGui(argc, argv, args);
}
