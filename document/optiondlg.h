// Options: the user options with their keys in the settings file, the
// options dialog, and the placement keys of the dockable tool windows.
#pragma once

#include <string>

#include <QDialog>
#include <QMargins>
#include <QRect>

class QCheckBox;
class QDockWidget;
class QLineEdit;
class QMainWindow;
class QRadioButton;
class QAction;
class TMemIniFile;
class TIntEdit;

// Options that live here (the working-bitmap settings JPEGQuality,
// ResizeMode, DiskUndo and NormalAlphaBlending live with the bitmap).
extern int UndoLimitOption;        // "UndoLimit": undo steps kept, -1 unlimited
extern std::string ResumeFormat;   // "ResumeFormat": ".bmp", ".jpg" or ".png"
extern bool RefreshOnScript;       // "RefreshOnScript"
extern bool ReadmeAlpha;           // "ReadmeAlpha"

// Reads the user options from ini (defaults when absent) into their
// variables: the eight of the dialog's first pages, "CheckerBackground"
// (transparent parts over a checkerboard, CheckerBackground in the view)
// and "Threads" (threads of the image processing, 0 for every core; kept by
// the processor framework, KWThreadOption).
void LoadUserOptions(const TMemIniFile& ini);

class TKWOptionDlg : public QDialog {
  Q_OBJECT
 public:
  // Reads the options from the settings file (FormCreate).
  explicit TKWOptionDlg(QWidget* parent = nullptr);

  // Fills the controls from the variables and shows the dialog modally; on
  // OK stores the options.  False on Cancel or when a value could not be
  // converted (the error has been shown; the options before it are stored).
  bool Execute();
  // The controls from the variables.
  void FillControls();
  // The controls into the variables and the settings file, in key order.
  // Raises EConvertError at the first edit that holds no integer; options
  // before it are set and written.
  void StoreControls();

  QCheckBox* cbUnlimitedUndo;
  QAction* actUnlimitedUndo;
  TIntEdit* edrUndoLimit;
  TIntEdit* edrOnMemLim;
  TIntEdit* edrJPEGQuality;
  QRadioButton* rgResumeFormat[3];
  QRadioButton* rgResizeMode[2];
  QCheckBox* cbRefreshOnScrExec;
  QCheckBox* cbReadmeAlpha;
  QCheckBox* cbAlphaMode;
  QCheckBox* cbCheckerBackground;
  TIntEdit* edrThreads;
  QCheckBox* cbAllCores;

 private:
  void updateEnabling();
};

// The available area (without panels) of the screen that holds most of
// rect; the primary screen's when none does.
QRect AvailableScreenArea(const QRect& rect);
// rect, a window's client rectangle with frame around it, moved and where
// need be made smaller so that the whole window lies in the available area
// of the screen it lands on (placements stored on a larger screen).
QRect FitOnScreen(const QRect& rect, const QMargins& frame);

// Whether the windowing system can show a window translucent at all.
bool TranslucentWindowsPossible();

// Placement of a dockable tool window in section window->objectName().
void SavePlacement(QDockWidget* window, TMemIniFile& ini);
// Restores what SavePlacement wrote; every key defaults to the current
// value.  defaultDockSite names the site used when "DockSite" is absent
// ("rdsxLeft", "rdsxRight", or "pcTool": the shared tabbed area at the right).
void RestorePlacement(QDockWidget* window, QMainWindow* main, TMemIniFile& ini,
                      const std::string& defaultDockSite);
