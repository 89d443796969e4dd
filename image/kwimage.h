// TKWImage: the zoomable view of one document.  It owns the document's
// current image (and through it the whole undo/redo chain) and the
// document's log, and every processing step of the document goes through it
// so that the step is logged and its result becomes current and visible.
//
// Display: the widget is round(width x zoom) by round(height x zoom) pixels
// and paints only the area that is exposed, sampling the nearest source
// pixel for each screen pixel (no filtering, neither when enlarging nor when
// reducing).  So painting costs what the visible area costs, whatever the
// size of the image or the zoom.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QWidget>

#include "image/kwbitmap.h"

// The document's log: one parameter pack per operation, owned by the view.
using TKWLog = std::vector<std::unique_ptr<TKWParamPack>>;

// Factor of one zoom step; the main window sets 2^(1/ZoomSteps).
extern double ZoomStep;
// Views of images with an alpha channel show their transparent parts over a
// checkerboard (the option "CheckerBackground"; off: the colours alone).
extern bool CheckerBackground;

class TKWImage : public QWidget {
  Q_OBJECT

 public:
  explicit TKWImage(QWidget* parent = nullptr);
  ~TKWImage() override;

  // The current image (never null).
  TKWBitmap* Image() const { return image_; }

  float ZoomRate() const { return zoomRate_; }
  // Z > 0 (other values are ignored).  Resizes the widget, shows the image
  // (not the alpha channel) and repaints.
  void SetZoomRate(float Z);
  // Writes the zoom with its own value: the refresh after any change.
  void Refresh() { SetZoomRate(zoomRate_); }

  bool ShowingAlpha() const { return showingAlpha_; }

  TKWLog& Log() { return log_; }
  const TKWLog& Log() const { return log_; }
  void AddLog(std::unique_ptr<TKWParamPack> Pack);
  void AddLog(const std::string& LogText);
  void ClearLog();

  // Reads the file into the current image (no history step); on failure the
  // image is unchanged and the reader's exception passes on.
  void LoadFromFile(const std::string& FileName);
  void SaveToFile(const std::string& FileName);
  // The current image copies Bitmap (no history step).
  void CopyImage(const TBitmap& Bitmap);
  // Links New after the current image and makes it current (takes ownership).
  void AppendImage(TKWBitmap* New);

  bool Undo();
  bool Redo();
  void ZoomIn();
  void ZoomOut();

  // The processing steps.  The parameter pack is logged before the processor
  // runs.  A failing filter or generator leaves the image current and passes
  // its exception on; a mix without overlap ends quietly with the view
  // unchanged.
  void ApplyFilter(TKWBasicFilter* Filter, bool UpdateParams);
  void ApplyMixer(TBitmap* Foreground, TKWBasicMixer* Mixer, bool UpdateParams,
                  const TMixOrigin& Placement);
  void ApplyGenerator(TKWBasicGenerator* Generator, bool UpdateParams, int Width, int Height);

  // Shows the alpha channel as gray (or the image unchanged when it has
  // none); again: shows the image.
  void ToggleAlpha();

  // Called on a mouse press on the image (the document activates itself).
  std::function<void()> OnClick;

  // The source pixel that screen pixel (x, y) of the widget shows.
  QPoint SourcePixel(int x, int y) const;

  QSize sizeHint() const override { return size(); }

 protected:
  void paintEvent(QPaintEvent* e) override;
  void mousePressEvent(QMouseEvent* e) override;

 private:
  // Replaces the current image by New; the old one stays in the chain.
  void makeCurrent(TKWBitmap* New);
  // Makes the linked result of a processing step current under FileName.
  void commitStep(TKWBitmap* New, const std::string& FileName);
  const TBitmap& displaySource() const;

  TKWBitmap* image_;
  float zoomRate_ = 1.0f;
  bool showingAlpha_ = false;
  TKWLog log_;
  // The gray picture of the alpha channel while it is shown.
  std::unique_ptr<TBitmap> alphaView_;
};

// Fills out (w x h, Format_RGB32) with the nearest-pixel view of src shown
// at dispW x dispH, for the display rectangle starting at (x0, y0).  With
// keepAlpha (out in Format_ARGB32) a 32-bit source keeps its A bytes.
// Exposed for tests and for the benchmark.
class QImage;
void RenderNearest(const TBitmap& src, int dispW, int dispH, int x0, int y0, QImage& out,
                   bool keepAlpha = false);

// Conversions for the clipboard.  To a QImage: ARGB32 keeping the A bytes
// when withAlpha, otherwise opaque RGB32 (8-bit bitmaps through their
// palette).  From a QImage: pf32bit with the A bytes when the image has an
// alpha channel, otherwise pf24bit.
QImage BitmapToQImage(const TBitmap& bmp, bool withAlpha);
void QImageToBitmap(const QImage& img, TBitmap& bmp);
