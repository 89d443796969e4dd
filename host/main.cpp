// Program entry: command-line options, single instance, the start-up
// sequence with its splash window, package loading and the message loop.
#include <cstdio>
#include <cstring>
#include <memory>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QTimer>

#include "document/kwchild.h"
#include "document/kwparent.h"
#include "document/kwpaths.h"
#include "host/filterbox.h"
#include "host/instance.h"
#include "host/prcmgr.h"
#include "host/procbox.h"
#include "platform/sysutils.h"
#include "image/compressedstore.h"
#include "image/kwbitmap.h"
#include "procdef/multiuserini.h"
#include "script/kwscrcmd.h"
#include "script/kwscrengine.h"
#include "script/programhost.h"
#include "script/scredit.h"
#include "ui/messages.h"
#include "ui/splash.h"

namespace {

const char* const kUsage =
    "Usage: KW [FILE|FOLDER]...\n"
    "       KW --run SCRIPT.kws\n"
    "       KW --list\n"
    "       KW --help | --version\n"
    "\n"
    "  FILE|FOLDER    open images (folders recursively) in the running program,\n"
    "                 or start it; .kws files open in the script editor\n"
    "  --run SCRIPT   run a script without any window; exit 0 when it ran to its\n"
    "                 end, 1 when it stopped on an error (message on stderr),\n"
    "                 2 for a usage error\n"
    "  --list         list every registered processor and its parameters\n"
    "  --help         this text\n"
    "  --version      the program's version\n";

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
  QApplication app(argc, argv);
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

QImage LoadLogoImage() {
  try {
    std::unique_ptr<TKWBitmap> logo = LoadLogo();
    QImage img(logo->Width(), logo->Height(), QImage::Format_RGB32);
    for (int y = 0; y < logo->Height(); ++y)
      std::memcpy(img.scanLine(y), logo->ScanLine(y), size_t(logo->Width()) * 4);
    return img;
  } catch (const std::exception&) {
    return QImage();
  }
}

// The main window's script side is the script editor.
void wireScriptEditor(TKWParent* mainWindow, TScriptEditor* editor) {
  auto guarded = [](const std::function<void()>& f) {
    try {
      f();
    } catch (const std::exception& e) {
      ShowError(e.what());
    }
  };
  mainWindow->OpenScriptFile = [editor, guarded](const std::string& path) {
    guarded([&] { editor->OpenScriptFile(path); });
  };
  mainWindow->ShowLog = [editor](TKWChild*, const TKWLog& log) { editor->ShowLog(log); };
  mainWindow->InsertText = [editor](const std::string& text) { editor->InsertText(text); };
  mainWindow->RunScriptFile = [editor](const std::string& path) { editor->RunScriptFile(path); };
  mainWindow->ResumeScript = [editor, guarded](const std::string& path, const std::string& title) {
    guarded([&] {
      editor->OpenScriptFile(path);
      editor->SetTabCaption(editor->TabCount() - 1, QString::fromStdString(title));
    });
  };
  mainWindow->OnClosing = [editor] { editor->SaveScripts(true, KWResumeDir()); };
  auto sep = [editor] {
    auto* a = new QAction(editor);
    a->setSeparator(true);
    return a;
  };
  mainWindow->SetScriptActions({editor->actScrClose, editor->actScrNew, editor->actScrOpen,
                                editor->actScrSave, sep(), editor->actScrCopy, editor->actScrCut,
                                editor->actScrPaste, sep(), editor->actScrExecute,
                                editor->actScrFileExecute});
}

int runGui(int argc, char** argv, const std::vector<std::string>& files) {
  QApplication app(argc, argv);
  app.setApplicationName("Varoka");

  // Names relative to this process's folder mean nothing to another process.
  QStringList names;
  for (const std::string& f : files) names << QFileInfo(QString::fromStdString(f)).absoluteFilePath();

  TKWInstance instance;
  if (!instance.Acquire()) {
    if (!instance.Forward(names)) {
      std::fprintf(stderr, "Varoka: the running program does not answer.\n");
      return 1;
    }
    return 0;
  }

  // The manager, then the script engine, which fills the manager's keyword tables.
  TKWProcessorManager mgr;
  TKWProgramScriptHost scriptHost(&mgr);
  TKWScriptEngine engine(&scriptHost, &mgr.Keywords1, &mgr.Keywords2);
  mgr.KeywordDeleter = KWSDeleteCommand;

  TKWSplash splash{LoadLogoImage()};
  splash.SetLoading(true);
  splash.show();
  auto step = [&splash](const QString& text) {
    splash.SetState(text);
    splash.Advance();
  };

  step("Loading Main Window ...");
  auto* mainWindow = new TKWParent;
  step("Loading About Box ...");
  step("Loading Filter Box ...");
  TFilterBox* filterBox = mainWindow->FilterBox();
  step("Loading Mixer Box ...");
  auto* mixerBox = new TKWMixerHostBox(mainWindow);
  mainWindow->addDockWidget(Qt::RightDockWidgetArea, mixerBox);
  mainWindow->AddToolWindow(mixerBox, "pcTool");
  step("Loading Generator Box ...");
  auto* generatorBox = new TKWGeneratorHostBox(mainWindow);
  mainWindow->addDockWidget(Qt::RightDockWidgetArea, generatorBox);
  mainWindow->AddToolWindow(generatorBox, "pcTool");
  step("Loading AC Value Dialog ...");
  step("Loading Script Editor ...");
  auto* editor = new TScriptEditor(&engine, mainWindow);
  mainWindow->addDockWidget(Qt::BottomDockWidgetArea, editor);
  mainWindow->AddToolWindow(editor, "rdsxBottom");
  wireScriptEditor(mainWindow, editor);
  step("Loading Tool Box ...");
  step("Loading Album Box ...");
  step("Loading Option Dialog ...");
  step("Loading Readme Window ...");

  splash.SetState("Loading Processors ...");
  mgr.Hooks.FilterMenu = mainWindow->miFilter;
  mgr.Hooks.MixerMenu = mainWindow->miMixer;
  mgr.Hooks.GeneratorMenu = mainWindow->miGenerator;
  mgr.Hooks.AddFilter = [filterBox](TFilterInfo* info) { filterBox->AddFilter(info); };
  mgr.Hooks.AddMixer = [mixerBox](TMixerInfo* info) { mixerBox->AddMixer(info); };
  mgr.Hooks.AddGenerator = [generatorBox](TGeneratorInfo* info) { generatorBox->AddGenerator(info); };
  mgr.Hooks.Progress = [mainWindow](TKWProcessor* s, TProgressStage st, uint8_t pd, bool rn, TRect& r,
                                    const std::string& m) {
    mainWindow->ProcessorProgress(s, st, pd, rn, r, m);
  };
  mgr.Hooks.SplashState = [&step](const std::string& t) { step(QString::fromStdString(t)); };
  try {
    mgr.LoadProcessors();
  } catch (const std::exception& e) {
    splash.SetLoading(false);
    splash.hide();
    ShowError(e.what());
    delete mainWindow;
    return 1;
  }
  if (filterBox->PageCount() > 0) filterBox->PageControl()->setCurrentIndex(0);
  splash.SetState("Execute ...");

  QObject::connect(&instance, &TKWInstance::FilesReceived, mainWindow, [mainWindow](const QStringList& n) {
    mainWindow->OpenFiles(n);
    mainWindow->show();
    mainWindow->raise();
    mainWindow->activateWindow();
  });
  mainWindow->show();
  splash.Finish();
  if (!names.isEmpty())
    QTimer::singleShot(0, mainWindow, [mainWindow, names] { mainWindow->OpenFiles(names); });

  int rc = app.exec();
  // Panels belong to the packages: they go before the windows that hold them.
  mgr.UnloadPackages();
  delete mainWindow;
  return rc;
}

}  // namespace

int main(int argc, char** argv) {
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
      if (args.size() != 2) {
        std::fputs(kUsage, stderr);
        return 2;
      }
      std::string script = args[1];
      return runWithoutWindow(argc, argv, [&script](TKWProcessorManager& mgr) {
        return KWRunScriptCommandLine(mgr, script);
      });
    }
    if (a.size() > 1 && a[0] == '-') {
      std::fprintf(stderr, "Varoka: unknown option %s\n\n%s", a.c_str(), kUsage);
      return 2;
    }
  }
  return runGui(argc, argv, args);
}
