// TKWChild: one document, a child window of the main window showing one
// image through its zoomable view.  Every change of the image makes a new
// image in the view's undo/redo chain and a line in the document's log.
#pragma once

#include <functional>
#include <string>

#include <QMdiSubWindow>

#include "host/kwdocument.h"
#include "image/kwimage.h"

class QAction;
class QMenu;
class QScrollArea;
class TKWFileDialog;

class TKWChild : public QMdiSubWindow, public TKWDocument {
  Q_OBJECT
 public:
  // Decides the window size and the zoom when the window is fitted.
  using TFitWindowEvent = std::function<void(TKWChild* Sender, QPoint& Position, bool& Fit,
                                             double& Zoom, QSize& ImageSize, QSize& WindowSize)>;

  explicit TKWChild(QWidget* parent = nullptr);
  ~TKWChild() override;

  TKWImage* imiImage;
  QScrollArea* sbxImage;

  bool Modified = false;
  bool ClosedByUser = false;
  bool Busy = false;
  int BusyCount = 0;
  int FrameWidth = 0;
  int FrameHeight = 0;

  TFitWindowEvent OnFitWindow;
  std::function<void(TKWChild*, TKWBitmap*)> OnImageChange;
  std::function<void(TKWChild*)> OnModified;
  // The log goes to the script editor (through the main window).
  std::function<void(TKWChild*, const TKWLog&)> OnLogCreate;
  // Text from the clipboard goes to the script editor's active tab.
  std::function<void(const std::string&)> OnPasteText;

  TKWFileDialog* OpenDialog = nullptr;
  TKWFileDialog* ACOpenDialog = nullptr;
  TKWFileDialog* SaveDialog = nullptr;
  TKWFileDialog* ACSaveDialog = nullptr;

  // TKWDocument
  TKWBitmap* CurrentImage() override { return imiImage->Image(); }
  void ApplyFilter(TKWBasicFilter* Filter, bool UpdateParams) override;
  void ApplyMixer(TBitmap* Foreground, TKWBasicMixer* Mixer, bool UpdateParams,
                  const TMixOrigin& Placement) override;
  void ApplyGenerator(TKWBasicGenerator* Generator, bool UpdateParams, int Width,
                      int Height) override;
  void SetBusy(bool B) override;
  void SetHolder(const std::string& Holder, std::function<void()> Release = {}) override;
  // Who chose the document (the mixer box), for the user's eyes; shown in
  // the caption.  ReleaseHolder lets the document go (actRelease).
  std::string Holder;
  std::function<void()> ReleaseHolder;
  QWidget* DocumentWindow() override { return this; }
  void SetImageChangeHook(std::function<void(TKWBitmap*)> Hook) override {
    OnImageChange = Hook ? [Hook](TKWChild*, TKWBitmap* i) { Hook(i); } : decltype(OnImageChange)();
  }

  // Reads the file into the current image (no history step).  Raises the
  // reader's error; the document is unchanged then.
  void LoadDocument(const std::string& FileName);
  // Opens the file into the document as a new, undoable step.  An unreadable
  // file shows the read error and changes nothing; false then.
  bool OpenInto(const std::string& FileName);
  void SaveDocument(const std::string& FileName);
  void SetImage(const TBitmap& Bitmap, const std::string& FileName,
                const std::string& OperationName);
  bool PasteFromClipboard(bool AsNew);
  void CreateAlphaByValue(uint8_t Value);
  bool LoadAlpha(const std::string& FileName);
  void SaveAlpha(const std::string& FileName);
  void SetModified(bool M);
  void CloseDocument();
  void FitWindow(bool Fit);
  void UpdateCaption();
  // The caption: file name, zoom and operation, then what the window shows
  // besides (the alpha channel, a box that holds the document).
  std::string CaptionText() const;
  // The least size a fitted window gets, so that its caption can be read
  // (bounded by the main window's client area).
  QSize MinimumWindowSize() const;
  void ImageChanged();
  void SetZoom(double Z);
  // The close query alone (the main window asks every document before it
  // closes): false when the document must stay open.
  bool CloseQuery();

  // The document's menus (merged into the main menu while it is active)
  // and its context menu.
  QMenu* miEdit;
  QMenu* miAlpha;
  QMenu* miLog;
  QMenu* miZoom;
  QMenu* pmChild;

  QAction *actUndo, *actRedo, *actUndoAll, *actCopy, *actPaste, *actOpen, *actSaveAs;
  QAction *actACShow, *actACDisable, *actACInvert, *actACCreateFromImage, *actACCreateValue,
      *actACCreateHarf, *actACLoad, *actACSave, *actACCopy, *actACPaste;
  QAction *actLogCreate, *actLogClear;
  QAction *actZoomIn, *actZoomOut, *actFreeZoom, *actZoomClient, *actZoom025, *actZoom050,
      *actZoom100, *actZoom200, *actZoom400;
  // Lets the box that holds the document go (enabled while one does).
  QAction* actRelease;
  // The handlers behind the actions.  They raise on failure (the actions
  // show the message); the script engine calls them directly.
  void actUndoExecute();
  void actRedoExecute();
  void actUndoAllExecute();
  void actCopyExecute();
  void actPasteExecute();
  void actOpenExecute();
  void actSaveAsExecute();
  void actACShowExecute();
  void actACDisableExecute();
  void actACInvertExecute();
  void actACCreateFromImageExecute();
  void actACCreateValueExecute();
  void actACCreateHarfExecute();
  void actACLoadExecute();
  void actACSaveExecute();
  void actACCopyExecute();
  void actACPasteExecute();
  void actLogCreateExecute();
  void actLogClearExecute();
  void actFreeZoomExecute();
  void actZoomClientExecute();
  // One zoom step in (steps > 0) or out about the point p of the view's
  // viewport: the image point under it stays there.  Ctrl + mouse wheel.
  void ZoomAbout(int steps, const QPoint& p);

  // Every action of the document, in table order.
  QList<QAction*> Actions() const { return actions_; }
  // The actions' shortcuts are in force only while the document is the
  // active one (the main window switches them): keys of documents in the
  // background would only be ambiguous, and every registered shortcut makes
  // each enabling change cost more, so that making many documents would
  // grow slower with each.
  void SetShortcutsActive(bool active);
  bool ShortcutsActive() const { return shortcutsActive_; }
  // The shortcut an action of this document has while it is active.
  QKeySequence ShortcutOf(const QAction* action) const;
  // Recomputes the enabling of the actions (and the caption).
  void UpdateActions();

  // Whether the resume entry is written when the window is destroyed open
  // (false in a batch run).
  static bool WriteResume;
  // Writes the resume entry and image (called by the destructor when the
  // document was not closed by the user).  Errors are swallowed: a failed
  // resume must not stop the program from ending.
  void WriteResumeEntry();

 protected:
  void closeEvent(QCloseEvent* e) override;
  void contextMenuEvent(QContextMenuEvent* e) override;
  bool eventFilter(QObject* watched, QEvent* e) override;

 private:
  QAction* makeAction(const char* name, const QString& caption, const QKeySequence& key,
                      std::function<void()> handler);
  void refreshSteps();
  // Alpha-channel commands that make a new step: copy, commit, change, log.
  void alphaStep(const std::function<void(TKWBitmap&)>& change, const std::string& logLine,
                 const std::string& label);
  void runGuarded(const std::function<void()>& f);
  void zoomTo(double z);

  QList<QAction*> actions_;
  // The flags of the window as created (restored when it stops being busy).
  Qt::WindowFlags normalFlags_;
  int wheelDelta_ = 0;
  QList<QKeySequence> keys_;  // per action, applied while active
  bool shortcutsActive_ = false;
};

// File name without folder.
std::string FileNameOnly(const std::string& path);
