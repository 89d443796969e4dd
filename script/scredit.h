// TScriptEditor: the script editor tool window.  Tabs of scripts, a toolbar
// and a popup menu with the editor's actions, open and save dialogs; runs the
// active tab or a file with the script engine.
#pragma once

#include <QDockWidget>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "script/kwscrengine.h"
#include "script/scrmemo.h"

class QAction;
class QMenu;
class QTabWidget;
class QToolBar;
class TKWParamPack;

class TScriptEditor : public QDockWidget {
  Q_OBJECT
 public:
  TScriptEditor(TKWScriptEngine* engine, QWidget* parent = nullptr);
  ~TScriptEditor() override;

  QTabWidget* pcScript;
  QToolBar* tbScript;
  QMenu* pmScript;
  QAction* actScrNew;
  QAction* actScrOpen;
  QAction* actScrSave;
  QAction* actScrExecute;
  QAction* actScrFileExecute;
  QAction* actScrClose;
  QAction* actScrCopy;
  QAction* actScrCut;
  QAction* actScrPaste;
  QList<QAction*> alScrEdit;
  // The window closes only after SaveScripts.
  bool CanClose = false;

  // Asks for a file name: the open dialog (save false) or the save dialog;
  // empty when the user cancels.  Replaceable (tests).
  std::function<std::string(bool save)> AskFileName;

  // A new tab loaded from the file, named after it.  Raises EInOutError.
  TScriptView* OpenScriptFile(const std::string& fileName);
  // The log script of a document's log in a new tab "Log", or, with the
  // document's name, "Log - name" (numbered when that title is taken).
  void ShowLog(const std::vector<std::unique_ptr<TKWParamPack>>& log,
               const std::string& documentName = std::string());
  // Replaces the active tab's selection (or inserts at the caret).
  void InsertText(const std::string& text);
  // At program end: writes every tab to resumeDir (numbered files and
  // entries of Resume.ini) when save is true; then the window may close.
  void SaveScripts(bool save, const std::string& resumeDir);
  // Runs a file (the Script menu, actScrFileExecute); errors go to the error box.
  void RunScriptFile(const std::string& fileName);

  int TabCount() const;
  TScriptView* View(int i) const;
  TScriptView* ActiveView() const;
  QString TabCaption(int i) const;
  void SetTabCaption(int i, const QString& caption);

  // The enabling rule of the actions.
  void UpdateActions();
  // Tall enough for the toolbar, the tabs and about fifteen lines of script.
  QSize sizeHint() const override;

  void actScrNewExecute();
  void actScrOpenExecute();
  void actScrSaveExecute();
  void actScrExecuteExecute();
  void actScrFileExecuteExecute();
  void actScrCloseExecute();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  TScriptView* AddView(TScriptView* view, const QString& caption);
  std::string DefaultAsk(bool save);
  void Guarded(const std::function<void()>& f);
  // Runs a script; an error shows its message with the number of the line
  // it stopped on, and selects that line in view (when given).
  void RunReporting(const std::function<void()>& run, TScriptView* view);

  TKWScriptEngine* engine_;
};
