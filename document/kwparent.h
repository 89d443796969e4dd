// TKWParent: the main window.  It holds the documents in an MDI area, the
// menus (the active document's menus are merged in), the status bar with its
// progress bar, and the tool windows; it opens files, makes new and cloned
// documents, and stores every open document when it closes so that the next
// start restores them (the resume).
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QLabel>
#include <QMainWindow>
#include <QMdiArea>
#include <QMenu>
#include <QPointer>
#include <QProgressBar>
#include <QStringList>

#include "document/kwdialogs.h"
#include "image/kwimage.h"
#include "procdef/kwproc.h"

class QDockWidget;
class TFilterBox;
class TKWChild;
class TKWOptionDlg;
class TSPIs;

class TKWParent : public QMainWindow {
  Q_OBJECT
 public:
  explicit TKWParent(QWidget* parent = nullptr);
  ~TKWParent() override;

  QMdiArea* MdiArea() const { return mdi_; }
  QMenu* miFile = nullptr;
  QMenu* miFilter = nullptr;
  QMenu* miMixer = nullptr;
  QMenu* miGenerator = nullptr;
  QMenu* miScript = nullptr;
  QMenu* miWindow = nullptr;
  QMenu* miHelp = nullptr;
  QLabel* lbStatus = nullptr;
  QLabel* stImageInfo = nullptr;
  QProgressBar* pbProgress = nullptr;

  QAction *actNew, *actOpen, *miSaveAs, *actClone, *miOption, *miExit;
  QAction *actDoFilter, *actDoMixer, *actGenerateNew, *actGenerateCur;
  QAction *miReadme, *miProcRef, *miScriptRef, *miAbout;
  // The window menu's commands (its list of documents follows them).
  QAction *actCascade, *actTile, *actArrange, *actCloseChild;

  TKWFileDialog dlgOpen;
  TKWFileDialog dlgSave;
  TKWFileDialog dlgACOpen;
  TKWFileDialog dlgACSave;
  // The image plug-ins of the program folder and the per-user plug-in
  // folder; null when another list already serves the process.
  std::unique_ptr<TSPIs> SPIs;

  TFilterBox* FilterBox() const { return filterBox_; }
  TKWOptionDlg* OptionDlg() const { return optionDlg_; }

  int ScrollBarWidth = 16;
  int ScrollBarHeight = 16;
  bool InitChildSizeByZoom = true;
  std::string ScriptFolder;

  // The progress event given to every processor and document view.
  void ProcessorProgress(TKWProcessor* Sender, TProgressStage Stage, uint8_t PercentDone,
                         bool RedrawNow, TRect& R, const std::string& Msg);
  // Progress of the working bitmap's pixel loops (0 to 10000).
  void SetProgressValue(int value);

  // Opens files and folders (folders recursively) into documents; ".kws"
  // files go to the script editor.  Unreadable files are skipped silently.
  virtual void OpenFiles(const QStringList& names);
  TKWChild* CreateChild();
  // The active document, or null.
  TKWChild* ActiveChild() const;
  QList<TKWChild*> Children() const;
  void UpdateStatus();
  // The window menu: its commands, then one checkable item per document
  // (the active one checked).  Rebuilt each time the menu opens.
  void UpdateWindowMenu();
  // Lines the minimized documents up along the bottom of the client area.
  void ArrangeIcons();
  // rect (the main window's client rectangle) made to fit, with the
  // window's frame, into the screen it lands on.
  QRect FitToScreen(const QRect& rect) const;
  // Decides the size (and with Fit the zoom) of a document window.
  void FitChild(TKWChild* Sender, QPoint& Position, bool& Fit, double& Zoom, QSize& ImageSize,
                QSize& WindowSize);

  void actNewExecute();
  void actCloneExecute();
  void actOpenExecute();
  void miOptionClick();
  // Shows a text file of the program folder in the readme window.
  void ShowHelpFile(const std::string& fileName);
  // The about box (modal).
  void miAboutClick();

  // Restores the documents of the previous run (called when first shown).
  void LoadResume();
  // The Script menu: the script editor's actions, then the scripts of the
  // Script folder.
  void BuildScriptMenu();
  void SetScriptActions(const QList<QAction*>& actions);
  // Writes the per-user autostart entry (the desktop session is ending).
  void WriteRestartEntry();
  // Removes it again (it restarts the program once only).
  static void RemoveRestartEntry();
  static std::string RestartEntryFile();

  // Tool windows whose placement is stored ("DockSite" default per window).
  void AddToolWindow(QDockWidget* window, const std::string& defaultDockSite);
  void SaveSettings();
  void RestoreToolWindows();

  // Asks every document (close query); false when one must stay open.
  bool QueryCloseChildren();
  // Closes without asking the documents: each is kept in the resume data,
  // modified flag included (the session ends, or the program is told to end).
  void EndSession();

  // The script editor's side (set by the script editor; all optional).
  std::function<void(const std::string& path)> OpenScriptFile;
  std::function<void(TKWChild* doc, const TKWLog& log)> ShowLog;
  std::function<void(const std::string& text)> InsertText;
  std::function<void(const std::string& path)> RunScriptFile;
  std::function<void(const std::string& path, const std::string& title)> ResumeScript;
  // Told when the program closes (the script editor writes its resume tabs).
  std::function<void()> OnClosing;
  // Told before the documents are asked whether they may close (true) and,
  // when one of them refuses, once the close has been given up (false).
  std::function<void(bool closing)> OnCloseQuery;
  // Start-up texts for the splash window while the main window is first
  // shown ("Loading Resume Data ...", "Showing Filter Box ...", ...), and the
  // end of that first showing (the splash window closes).
  std::function<void(const std::string& text)> StartupState;
  std::function<void()> StartupDone;
  // The mixer box's apply (F4).
  std::function<void()> DoMixer;
  // Whether the mixer box can apply now (unset: whenever a document is
  // open); actDoMixer and the mixer menu follow it.
  std::function<bool()> MixerEnabled;

 protected:
  void closeEvent(QCloseEvent* e) override;
  void showEvent(QShowEvent* e) override;
  // Files and folders dropped on the window open like the command line's.
  void dragEnterEvent(QDragEnterEvent* e) override;
  void dropEvent(QDropEvent* e) override;

 private:
  void subWindowActivated(QMdiSubWindow* w);
  void updateActions();
  void openFilesRec(const QStringList& names, int& files, QStringList& visited);
  void readPlacement();
  // The main window's frame inside the available screen area.
  void keepOnScreen();
  void writePlacement();

  QMdiArea* mdi_;
  TFilterBox* filterBox_ = nullptr;
  TKWOptionDlg* optionDlg_ = nullptr;
  QList<QPointer<QAction>> mergedMenus_;
  QPointer<QMdiSubWindow> shortcutOwner_;  // the document whose shortcuts are in force
  QList<QAction*> scriptActions_;
  QList<QAction*> scriptFileItems_;
  QList<QAction*> windowItems_;
  struct ToolWindow {
    QDockWidget* window;
    std::string defaultSite;
  };
  std::vector<ToolWindow> toolWindows_;
  bool firstShow_ = true;
  bool resumeQueued_ = false;
  bool closing_ = false;
  bool endingSession_ = false;
};
