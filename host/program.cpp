#include "host/program.h"

#include <cstring>

#include <QAction>
#include <QApplication>

#include "document/kwchild.h"
#include "document/kwparent.h"
#include "document/kwpaths.h"
#include "host/filterbox.h"
#include "host/generatorbox.h"
#include "host/mixerbox.h"
#include "host/procbox.h"
#include "image/compressedstore.h"
#include "image/kwbitmap.h"
#include "script/kwscrengine.h"
#include "script/programhost.h"
#include "script/scredit.h"
#include "ui/appearance.h"
#include "ui/messages.h"
#include "ui/splash.h"

namespace {

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
  mainWindow->ShowLog = [editor](TKWChild* doc, const TKWLog& log) {
    editor->ShowLog(log, doc ? doc->CurrentImage()->FileName : std::string());
  };
  mainWindow->InsertText = [editor](const std::string& text) { editor->InsertText(text); };
  mainWindow->RunScriptFile = [editor](const std::string& path) { editor->RunScriptFile(path); };
  mainWindow->ResumeScript = [editor, guarded](const std::string& path, const std::string& title) {
    guarded([&] {
      // The resume copy goes away: the tab is text without a file of its own.
      editor->OpenScriptFile(path)->FileName.clear();
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

}  // namespace

QImage TKWProgram::LogoImage() {
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

TKWProgram::TKWProgram() {
  // The manager, then the script engine, which fills the manager's keyword tables.
  scriptHost_ = std::make_unique<TKWProgramScriptHost>(&mgr_);
  engine_ = std::make_unique<TKWScriptEngine>(scriptHost_.get(), &mgr_.Keywords1, &mgr_.Keywords2);
  mgr_.KeywordDeleter = KWSDeleteCommand;
}

TKWProgram::~TKWProgram() {
  // Panels belong to the packages: they go before the windows that hold them.
  mgr_.UnloadPackages();
  delete mainWindow_;
  engine_.reset();
}

TFilterBox* TKWProgram::FilterBox() const { return mainWindow_ ? mainWindow_->FilterBox() : nullptr; }

void TKWProgram::Start(TKWSplash* splash, const std::string& procLibDir) {
  auto step = [splash](const QString& text) {
    if (!splash) return;
    splash->SetState(text);
    splash->Advance();
  };

  // The program's icon on every window, the toolkit's dialogs in Japanese.
  KWApplyProgramLook(QCoreApplication::instance());
  step("Loading Main Window ...");
  mainWindow_ = new TKWParent;
  step("Loading About Box ...");
  step("Loading Filter Box ...");
  TFilterBox* filterBox = mainWindow_->FilterBox();
  step("Loading Mixer Box ...");
  mixerBox_ = new TMixerBox(mainWindow_);
  mainWindow_->addDockWidget(Qt::RightDockWidgetArea, mixerBox_);
  mainWindow_->AddToolWindow(mixerBox_, "pcTool");
  step("Loading Generator Box ...");
  generatorBox_ = new TGeneratorBox(mainWindow_, KWSettingsFile());
  mainWindow_->addDockWidget(Qt::RightDockWidgetArea, generatorBox_);
  mainWindow_->AddToolWindow(generatorBox_, "pcTool");
  step("Loading AC Value Dialog ...");
  step("Loading Script Editor ...");
  editor_ = new TScriptEditor(engine_.get(), mainWindow_);
  mainWindow_->addDockWidget(Qt::BottomDockWidgetArea, editor_);
  mainWindow_->AddToolWindow(editor_, "rdsxBottom");
  wireScriptEditor(mainWindow_, editor_);
  step("Loading Tool Box ...");
  step("Loading Album Box ...");
  step("Loading Option Dialog ...");
  step("Loading Readme Window ...");

  if (splash) splash->SetState("Loading Processors ...");
  TKWParent* mainWindow = mainWindow_;
  TMixerBox* mixerBox = mixerBox_;
  // The mixer box chooses from the active document; F4 and the mixer menu
  // follow its apply action; scripts read its documents and placement.
  mixerBox->ActiveDocument = [mainWindow]() -> TKWDocument* { return mainWindow->ActiveChild(); };
  mixerBox->BindApplyAction(mainWindow->actDoMixer, mainWindow->miMixer);
  mainWindow->DoMixer = [mixerBox, mainWindow] { mixerBox->bbtDoMixerClick(mainWindow->actDoMixer); };
  mainWindow->MixerEnabled = [mixerBox] { return mixerBox->CanApply(); };
  scriptHost_->MixerSettings = [mixerBox](int32_t& x, int32_t& y, bool& clipping) {
    x = mixerBox->PosX();
    y = mixerBox->PosY();
    clipping = mixerBox->Clipping();
  };
  scriptHost_->SelectedDocuments = [mixerBox](TKWChild*& background, TKWChild*& foreground) {
    background = dynamic_cast<TKWChild*>(mixerBox->BackgroundDoc());
    foreground = dynamic_cast<TKWChild*>(mixerBox->ForegroundDoc());
  };
  TGeneratorBox* generatorBox = generatorBox_;
  // The generator box makes documents through the main window; the
  // generator menu's two items are its two ways of generating.
  generatorBox->ActiveDocument = [mainWindow]() -> TKWDocument* { return mainWindow->ActiveChild(); };
  generatorBox->NewDocument = [mainWindow](const TBitmap& b, const std::string& name, const std::string& op) {
    TKWChild* c = mainWindow->CreateChild();
    try {
      c->SetImage(b, name, op);
    } catch (...) {
      delete c;
      throw;
    }
    mainWindow->UpdateStatus();
  };
  QObject::connect(mainWindow->actGenerateNew, &QAction::triggered, generatorBox,
                   [generatorBox] { generatorBox->actGenerateExecute(); });
  QObject::connect(mainWindow->actGenerateCur, &QAction::triggered, generatorBox,
                   [generatorBox] { generatorBox->bbtToCurrentClick(); });
  mainWindow->OnCloseQuery = [mixerBox](bool closing) { mixerBox->ProgramClosing(closing); };
  {
    auto closing = mainWindow->OnClosing;
    mainWindow->OnClosing = [closing, generatorBox] {
      if (closing) closing();
      generatorBox->ProgramClosing();
    };
  }
  mgr_.Hooks.FilterMenu = mainWindow->miFilter;
  mgr_.Hooks.MixerMenu = mainWindow->miMixer;
  mgr_.Hooks.GeneratorMenu = mainWindow->miGenerator;
  mgr_.Hooks.AddFilter = [filterBox](TFilterInfo* info) { filterBox->AddFilter(info); };
  mgr_.Hooks.AddMixer = [mixerBox](TMixerInfo* info) { mixerBox->AddMixer(info); };
  mgr_.Hooks.AddGenerator = [generatorBox](TGeneratorInfo* info) { generatorBox->AddGenerator(info); };
  mgr_.Hooks.Progress = [mainWindow](TKWProcessor* s, TProgressStage st, uint8_t pd, bool rn, TRect& r,
                                     const std::string& m) {
    mainWindow->ProcessorProgress(s, st, pd, rn, r, m);
  };
  mgr_.Hooks.SplashState = [step](const std::string& t) { step(QString::fromStdString(t)); };
  mgr_.LoadProcessors(procLibDir);
  if (filterBox->PageCount() > 0) filterBox->PageControl()->setCurrentIndex(0);
  if (splash) splash->SetState("Execute ...");
}
