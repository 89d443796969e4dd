// TMixerBox: the dock window in which the user picks a background and a
// foreground document, places the foreground on the background (dragging
// its thumbnail or typing the position), previews the current mixer and
// applies it as a new, undoable image of the background document.  Every
// registered mixer's panel is one page of the box.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QAction>
#include <QCheckBox>
#include <QImage>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QToolButton>

#include "host/kwdocument.h"
#include "host/procbox.h"
#include "procdef/kwinfo.h"

class QSplitter;
class QTabWidget;
class TEditRight;
class TPreviewImage;

// A picture of a fixed size on the position page, with mouse callbacks.
class TMixerThumb : public QWidget {
  Q_OBJECT
 public:
  explicit TMixerThumb(QWidget* parent = nullptr);
  // Shows bmp (drawn at 0, 0; the rest white).
  void SetPicture(const TBitmap& bmp);
  const QImage& Picture() const { return picture_; }
  std::function<void(QMouseEvent*)> OnMouseDown, OnMouseMove, OnMouseUp;

 protected:
  void paintEvent(QPaintEvent*) override;
  void mousePressEvent(QMouseEvent* e) override;
  void mouseMoveEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;

 private:
  QImage picture_;
};

class TMixerBox : public TKWProcBox {
  Q_OBJECT
 public:
  static constexpr int kPreviewWidth = 120;
  static constexpr int kPreviewHeight = 90;
  static constexpr int kThumbWidth = 90;
  static constexpr int kThumbHeight = 60;

  // With a parent (the main window), closing that window first lets go of
  // the chosen documents so that they may be asked whether to save, and
  // takes them again when the close is refused.
  explicit TMixerBox(QWidget* parent = nullptr);
  ~TMixerBox() override;

  // Docks the record's panel as a page and makes its mixer current.
  void AddMixer(TMixerInfo* MixerInfo);
  void SetCurrentMixer(TKWBasicMixer* Mixer);
  TKWBasicMixer* CurrentMixer() const { return currentMixer_; }

  // The active document of the main window (set by the program).
  std::function<TKWDocument*()> ActiveDocument;
  // Errors of a mixer during preview or apply (default: the error box).
  std::function<void(const std::string&)> OnError;

  // Choose the active document as background / foreground.
  void bbtBGImageClick();
  void bbtFGImageClick();
  // Lets go of doc in every role the box holds it in (the document may
  // close then); the box waits for a new choice.
  void ReleaseDocument(TKWDocument* doc);
  // Foreground origin in background pixels.
  void SetPosition(int X, int Y);
  // A point of the position page.
  void SetPositionFromView(int VX, int VY);
  void Preview();
  // Applies the current mixer to the background document.
  void bbtDoMixerClick(QObject* Sender = nullptr);
  // The main window's apply action and mixer menu follow actDoMixer.
  void BindApplyAction(QAction* action, QMenu* menu);
  // Whether there is a mixer, a foreground is chosen and it touches the
  // background at the current position.
  bool CanApply() const;

  // What the script engine reads.
  TKWDocument* BackgroundDoc() const { return backgroundDoc_; }
  TKWDocument* ForegroundDoc() const { return foregroundDoc_; }
  int PosX() const { return posX_; }
  int PosY() const { return posY_; }
  bool Clipping() const { return cbClipMode->isChecked(); }
  double ScaleX() const { return scaleX_; }
  double ScaleY() const { return scaleY_; }

  bool AllowClose = false;
  // The main window is about to ask its documents whether they may close
  // (closing true): the chosen documents are let go so that they are asked
  // like every other one.  closing false: the close was refused, and the
  // documents that still exist are held again.
  void ProgramClosing(bool closing);

  QTabWidget* pcMixerControl;
  QWidget* tsMixerExec;
  QWidget* tsMixerPos;
  QSplitter* spCtrlSize;
  TPreviewImage* imPreview;
  QPushButton* btPreview;
  QPushButton* bbtDoMixer;
  QCheckBox* cbClipMode;
  QToolButton* bbtBGImage;
  QToolButton* bbtFGImage;
  QLabel* stBGImage;
  QLabel* stFGImage;
  TMixerThumb* imBGImage;
  TMixerThumb* imFGImage;
  TEditRight* edrPosX;
  TEditRight* edrPosY;
  QAction* actPreview;
  QAction* actDoMixer;
  const TBitmap& BackgroundThumb() const { return *backgroundThumb_; }
  const TBitmap& ForegroundThumb() const { return *foregroundThumb_; }
  int PanelCount() const { return int(panels_.size()); }

 protected:
  void closeEvent(QCloseEvent* e) override;
  void showEvent(QShowEvent* e) override;

 private:
  enum class TRole { Background, Foreground };
  void choose(TRole role);
  // Tells doc which of the box's roles it has now.
  void updateHolder(TKWDocument* doc);
  void release(TRole role);
  void documentGone(TRole role);
  void imageChanged(TRole role, TKWBitmap* Image);
  void drawGlyph(TRole role, const TBitmap& image);
  void sizeForegroundThumb();
  void drawForegroundThumb(const TBitmap& image);
  void drawBackgroundPreview(const TBitmap& image);
  void selectChange();
  void PreviewMixer(TKWBasicMixer* Mixer);
  void pcMixerBoxChange(int index);
  void edrPosChange(bool x);
  void UpdateActions();
  void showError(const std::string& msg);
  void applyOpacity();
  TBitmap* image(TKWDocument* doc) const { return doc ? doc->CurrentImage() : nullptr; }

  struct PanelEntry {
    std::string caption;
    QWidget* panel;
    TMixerInfo* info;
    QWidget* page;
  };
  std::vector<PanelEntry> panels_;
  std::unique_ptr<TBitmap> backgroundThumb_, foregroundThumb_;
  TKWBasicMixer* currentMixer_ = nullptr;
  TKWDocument* backgroundDoc_ = nullptr;
  TKWDocument* foregroundDoc_ = nullptr;
  // The documents' windows: they tell when a document is gone.
  QPointer<QWidget> backgroundWin_, foregroundWin_;
  double scaleX_ = 1.0, scaleY_ = 1.0;
  int grabX_ = 0, grabY_ = 0;
  int posX_ = 0, posY_ = 0;
  bool positionHandlers_ = true;
  bool released_ = false;  // the main window is closing: documents let go
  QPointer<QAction> boundAction_;
  QPointer<QMenu> boundMenu_;
  // Expires with the box: hooks held by mixers and documents check it.
  std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};
