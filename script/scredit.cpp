#include "script/scredit.h"

#include <QAction>
#include <QCloseEvent>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QPointer>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>
#include <QToolBar>
#include <QVBoxLayout>
#include <cstdio>

#include "platform/inifile.h"
#include "platform/sysutils.h"
#include "ui/messages.h"

namespace {

const char* const kFilter = "Varoka Script(*.KWS *.kws)";

// A script started in the program runs in its own folder, so that relative
// names in it mean the files beside it (KW --run keeps the folder it was
// started in).  A text that was never saved runs where the program is.
class TScriptFolder {
 public:
  explicit TScriptFolder(const std::string& scriptFile) : old_(QDir::currentPath()) {
    if (!scriptFile.empty()) QDir::setCurrent(QFileInfo(QString::fromStdString(scriptFile)).absolutePath());
  }
  ~TScriptFolder() { QDir::setCurrent(old_); }
  TScriptFolder(const TScriptFolder&) = delete;
  TScriptFolder& operator=(const TScriptFolder&) = delete;

 private:
  QString old_;
};

std::string Absolute(const std::string& file) {
  return QFileInfo(QString::fromStdString(file)).absoluteFilePath().toStdString();
}

QAction* MakeAction(QObject* owner, const char* name, const char* caption, const char* hint,
                    QStyle::StandardPixmap icon, QWidget* styleSource) {
  auto* a = new QAction(QString::fromUtf8(caption), owner);
  a->setObjectName(QString::fromLatin1(name));
  if (hint) {
    a->setToolTip(QString::fromUtf8(hint));
    a->setStatusTip(QString::fromUtf8(hint));
  }
  a->setIcon(styleSource->style()->standardIcon(icon));
  return a;
}

}  // namespace

TScriptEditor::TScriptEditor(TKWScriptEngine* engine, QWidget* parent)
    : QDockWidget(QString::fromUtf8("スクリプト"), parent), engine_(engine) {
  setObjectName(QStringLiteral("TScriptEditor"));
  // No close button: the user docks, undocks or hides it with the main window.
  setFeatures(QDockWidget::DockWidgetMovable | QDockWidget::DockWidgetFloatable);

  actScrNew = MakeAction(this, "actScrNew", "新規作成(&N)", "スクリプトを新規作成", QStyle::SP_FileIcon, this);
  actScrOpen =
      MakeAction(this, "actScrOpen", "開く(&O)...", "スクリプトファイルを開く", QStyle::SP_DialogOpenButton, this);
  actScrSave = MakeAction(this, "actScrSave", "保存(&S)...", "スクリプトを保存", QStyle::SP_DialogSaveButton, this);
  actScrExecute = MakeAction(this, "actScrExecute", "実行(&R)", "スクリプトを実行", QStyle::SP_MediaPlay, this);
  actScrFileExecute = MakeAction(this, "actScrFileExecute", "ファイルを実行(&F)...", "スクリプトファイルを実行",
                                 QStyle::SP_MediaSeekForward, this);
  actScrClose = MakeAction(this, "actScrClose", "閉じる(&X)", "スクリプトを閉じる", QStyle::SP_DialogCloseButton, this);
  actScrCopy = MakeAction(this, "actScrCopy", "コピー(&C)", nullptr, QStyle::SP_FileDialogDetailedView, this);
  actScrCut = MakeAction(this, "actScrCut", "切り取り(&T)", nullptr, QStyle::SP_TrashIcon, this);
  actScrPaste = MakeAction(this, "actScrPaste", "貼り付け", nullptr, QStyle::SP_FileDialogContentsView, this);
  alScrEdit = {actScrNew, actScrOpen, actScrSave, actScrExecute, actScrFileExecute,
               actScrClose, actScrCopy, actScrCut, actScrPaste};

  connect(actScrNew, &QAction::triggered, this, [this] { actScrNewExecute(); });
  connect(actScrOpen, &QAction::triggered, this, [this] { actScrOpenExecute(); });
  connect(actScrSave, &QAction::triggered, this, [this] { actScrSaveExecute(); });
  connect(actScrExecute, &QAction::triggered, this, [this] { actScrExecuteExecute(); });
  connect(actScrFileExecute, &QAction::triggered, this, [this] { actScrFileExecuteExecute(); });
  connect(actScrClose, &QAction::triggered, this, [this] { actScrCloseExecute(); });
  connect(actScrCopy, &QAction::triggered, this, [this] {
    if (TScriptView* v = ActiveView()) v->seScript->copy();
  });
  connect(actScrCut, &QAction::triggered, this, [this] {
    if (TScriptView* v = ActiveView()) v->seScript->cut();
  });
  connect(actScrPaste, &QAction::triggered, this, [this] {
    if (TScriptView* v = ActiveView()) v->seScript->paste();
  });

  auto* body = new QWidget(this);
  auto* layout = new QVBoxLayout(body);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  tbScript = new QToolBar(body);
  tbScript->setObjectName(QStringLiteral("tbScript"));
  tbScript->setIconSize(QSize(22, 22));
  tbScript->addSeparator();
  for (QAction* a : {actScrNew, actScrOpen, actScrSave}) tbScript->addAction(a);
  tbScript->addSeparator();
  for (QAction* a : {actScrCopy, actScrCut, actScrPaste}) tbScript->addAction(a);
  tbScript->addSeparator();
  tbScript->addAction(actScrExecute);
  for (QAction* a : tbScript->actions())
    if (QWidget* w = tbScript->widgetForAction(a); w && !a->isSeparator()) w->setFixedSize(30, 30);
  layout->addWidget(tbScript);

  pcScript = new QTabWidget(body);
  pcScript->setObjectName(QStringLiteral("pcScript"));
  pcScript->setDocumentMode(true);
  pcScript->setUsesScrollButtons(false);  // tabs wrap instead of scrolling
  layout->addWidget(pcScript);
  setWidget(body);

  pmScript = new QMenu(this);
  pmScript->setObjectName(QStringLiteral("pmScript"));
  pmScript->addAction(actScrClose);
  pmScript->addAction(actScrNew);
  pmScript->addAction(actScrOpen);
  pmScript->addAction(actScrSave);
  pmScript->addSeparator();
  pmScript->addAction(actScrCopy);
  pmScript->addAction(actScrCut);
  pmScript->addAction(actScrPaste);
  pmScript->addSeparator();
  pmScript->addAction(actScrExecute);
  pmScript->addAction(actScrFileExecute);
  setContextMenuPolicy(Qt::CustomContextMenu);
  connect(this, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& p) { pmScript->popup(mapToGlobal(p)); });

  connect(pcScript, &QTabWidget::currentChanged, this, [this] { UpdateActions(); });
  AskFileName = [this](bool save) { return DefaultAsk(save); };
  UpdateActions();
}

TScriptEditor::~TScriptEditor() = default;

void TScriptEditor::closeEvent(QCloseEvent* event) {
  if (CanClose)
    event->accept();
  else
    event->ignore();
}

void TScriptEditor::UpdateActions() {
  bool any = TabCount() > 0;
  for (QAction* a : {actScrSave, actScrExecute, actScrClose, actScrCopy, actScrCut, actScrPaste}) a->setEnabled(any);
  for (QAction* a : {actScrNew, actScrOpen, actScrFileExecute}) a->setEnabled(true);
}

QSize TScriptEditor::sizeHint() const {
  QSize hint = QDockWidget::sizeHint();
  const int lines = QFontMetrics(KWScriptFont()).lineSpacing() * 15;
  hint.setHeight(std::max(hint.height(), tbScript->sizeHint().height() +
                                             pcScript->tabBar()->sizeHint().height() + lines + 48));
  return hint;
}

int TScriptEditor::TabCount() const { return pcScript->count(); }
TScriptView* TScriptEditor::View(int i) const { return qobject_cast<TScriptView*>(pcScript->widget(i)); }
TScriptView* TScriptEditor::ActiveView() const { return qobject_cast<TScriptView*>(pcScript->currentWidget()); }
QString TScriptEditor::TabCaption(int i) const { return pcScript->tabText(i); }
void TScriptEditor::SetTabCaption(int i, const QString& caption) { pcScript->setTabText(i, caption); }

TScriptView* TScriptEditor::AddView(TScriptView* view, const QString& caption) {
  int i = pcScript->addTab(view, caption);
  pcScript->setCurrentIndex(i);
  UpdateActions();
  return view;
}

void TScriptEditor::Guarded(const std::function<void()>& f) {
  try {
    f();
  } catch (const std::exception& e) {
    ShowError(e.what());
  }
}

std::string TScriptEditor::DefaultAsk(bool save) {
  QString name;
  if (save) {
    QFileDialog dlg(this, QString(), QString(), QString::fromLatin1(kFilter));
    dlg.setObjectName(QStringLiteral("dlgScrSave"));
    dlg.setAcceptMode(QFileDialog::AcceptSave);
    dlg.setDefaultSuffix(QStringLiteral("kws"));
    dlg.setOption(QFileDialog::DontConfirmOverwrite, true);
    dlg.setFileMode(QFileDialog::AnyFile);
    if (dlg.exec() == QDialog::Accepted && !dlg.selectedFiles().isEmpty()) name = dlg.selectedFiles().first();
  } else {
    QFileDialog dlg(this, QString(), QString(), QString::fromLatin1(kFilter));
    dlg.setObjectName(QStringLiteral("dlgScrOpen"));
    dlg.setAcceptMode(QFileDialog::AcceptOpen);
    dlg.setFileMode(QFileDialog::ExistingFile);
    dlg.setOption(QFileDialog::ReadOnly, true);
    if (dlg.exec() == QDialog::Accepted && !dlg.selectedFiles().isEmpty()) name = dlg.selectedFiles().first();
  }
  return name.toStdString();
}

void TScriptEditor::actScrNewExecute() { AddView(new TScriptView, QStringLiteral("New")); }

TScriptView* TScriptEditor::OpenScriptFile(const std::string& fileName) {
  auto view = std::make_unique<TScriptView>(fileName);
  TScriptView* v = AddView(view.release(), QString::fromStdString(ExtractFileName(fileName)));
  update();
  return v;
}

void TScriptEditor::actScrOpenExecute() {
  std::string name = AskFileName(false);
  if (name.empty()) return;
  Guarded([&] { OpenScriptFile(name); });
}

void TScriptEditor::actScrSaveExecute() {
  int i = pcScript->currentIndex();
  TScriptView* v = ActiveView();
  if (!v) return;
  std::string name = AskFileName(true);
  if (name.empty()) return;
  // The dialog adds the default extension; a name typed without one gets it here too.
  if (ExtractFileExt(name).empty()) name += ".kws";
  Guarded([&] {
    v->seScript->Script().SaveToFile(name);
    v->FileName = Absolute(name);
    SetTabCaption(i, QString::fromStdString(ExtractFileName(name)));
  });
}

void TScriptEditor::actScrExecuteExecute() {
  TScriptView* v = ActiveView();
  if (!v || !engine_) return;
  // The memo's text at this moment; the run blocks the user interface.
  TKWScript script = v->seScript->Script();
  const std::string file = v->FileName.empty() ? std::string() : Absolute(v->FileName);
  TScriptFolder folder(file);
  RunReporting([&] { engine_->RunScript(script, file); }, v);
}

void TScriptEditor::RunScriptFile(const std::string& fileName) {
  if (!engine_) return;
  const std::string file = Absolute(fileName);
  TScriptFolder folder(file);
  RunReporting([&] { engine_->RunFile(file); }, nullptr);
}

void TScriptEditor::RunReporting(const std::function<void()>& run, TScriptView* view) {
  QPointer<TScriptView> v = view;
  try {
    run();
  } catch (const std::exception& e) {
    std::string msg = e.what();
    const int line = engine_->ErrorLine;
    if (line >= 0) {
      msg += "\r\n(" + std::to_string(line + 1) + "行目)";
      if (v) {
        // The failing line is in view and selected while the message shows.
        pcScript->setCurrentWidget(v);
        v->seScript->SelectLine(line);
        v->seScript->setFocus();
      }
    }
    ShowError(msg);
  }
}

void TScriptEditor::actScrFileExecuteExecute() {
  std::string name = AskFileName(false);
  if (name.empty()) return;
  RunScriptFile(name);
}

void TScriptEditor::actScrCloseExecute() {
  int i = pcScript->currentIndex();
  if (i < 0) return;
  QWidget* w = pcScript->widget(i);
  pcScript->removeTab(i);
  delete w;
  UpdateActions();
}

void TScriptEditor::ShowLog(const std::vector<std::unique_ptr<TKWParamPack>>& log,
                            const std::string& documentName) {
  TKWScript script = TKWScript::CreateLog(log);
  auto* view = new TScriptView;
  view->seScript->SetLines(script);
  QString title = QStringLiteral("Log");
  if (!documentName.empty()) {
    // Tabs of several documents' logs tell which is which.
    const QString base = title + " - " + QString::fromStdString(documentName);
    title = base;
    for (int n = 2;; ++n) {
      bool taken = false;
      for (int i = 0; i < TabCount() && !taken; ++i) taken = TabCaption(i) == title;
      if (!taken) break;
      title = base + QString(" (%1)").arg(n);
    }
  }
  AddView(view, title);
  setFocus();
  view->seScript->setFocus();
}

void TScriptEditor::InsertText(const std::string& text) {
  TScriptView* v = ActiveView();
  if (!v) return;
  QTextCursor c = v->seScript->textCursor();
  c.insertText(QString::fromStdString(text));
  // The whole text is set anew: no selection, caret at the start.
  v->seScript->setPlainText(v->seScript->toPlainText());
}

void TScriptEditor::SaveScripts(bool save, const std::string& resumeDir) {
  if (save) {
    std::string r = resumeDir;
    if (!r.empty() && r.back() != '/') r += '/';
    if (!DirectoryExists(r)) ForceDirectories(r);
    TMemIniFile ini(r + "Resume.ini");
    int n = -1;
    for (int i = 0; i < TabCount(); ++i) {
      char name[32];
      do {
        ++n;
        std::snprintf(name, sizeof name, "%4.4d.kws", n);
      } while (FileExists(r + name));
      try {
        View(i)->seScript->Script().SaveToFile(r + name);
      } catch (const std::exception& e) {
        ShowError(e.what());
        continue;
      }
      char key[32];
      std::snprintf(key, sizeof key, "Script%4.4d", n);
      ini.WriteInteger("FileList", "ScriptIndex", n);
      ini.WriteString("FileList", key, name);
      ini.WriteString(name, "Title", TabCaption(i).toStdString());
    }
    try {
      ini.UpdateFile();
    } catch (const std::exception& e) {
      ShowError(e.what());
    }
  }
  CanClose = save;
}
