#include "image/kwimage.h"

#include <QImage>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPixmap>

#include <cmath>

#include "platform/sysutils.h"

double ZoomStep = std::sqrt(2.0);
bool CheckerBackground = false;

namespace {

// Screen extent of an image side at zoom Z, halves to even.
int ZoomedExtent(int side, float Z) {
  int64_t v = Round(static_cast<long double>(static_cast<double>(side) * static_cast<double>(Z)));
  if (v < 1 && side > 0) v = 1;
  if (v > 16000000) v = 16000000;  // largest widget extent Qt accepts
  return static_cast<int>(v);
}

}  // namespace

void RenderNearest(const TBitmap& src, int dispW, int dispH, int x0, int y0, QImage& out,
                   bool keepAlpha) {
  const int w = out.width();
  const int h = out.height();
  const int sw = src.Width();
  const int sh = src.Height();
  if (w <= 0 || h <= 0) return;
  if (sw <= 0 || sh <= 0 || dispW <= 0 || dispH <= 0) {
    out.fill(Qt::white);
    return;
  }
  // Column table: screen column -> source column (nearest, no filtering).
  std::vector<int> cols(static_cast<size_t>(w));
  for (int i = 0; i < w; ++i) {
    int64_t dx = int64_t(x0) + i;
    int64_t sx = dx * sw / dispW;
    if (sx < 0) sx = 0;
    if (sx >= sw) sx = sw - 1;
    cols[size_t(i)] = static_cast<int>(sx);
  }
  uint32_t table[256];
  const TPixelFormat pf = src.PixelFormat();
  if (pf == pf8bit) {
    const auto& pal = src.Palette();
    for (int i = 0; i < 256; ++i) {
      if (pal.empty()) {
        table[i] = 0xFF000000u | uint32_t(i) | (uint32_t(i) << 8) | (uint32_t(i) << 16);
      } else if (size_t(i) < pal.size()) {
        const TPaletteEntry& e = pal[size_t(i)];
        table[i] = 0xFF000000u | uint32_t(e.peBlue) | (uint32_t(e.peGreen) << 8) |
                   (uint32_t(e.peRed) << 16);
      } else {
        table[i] = 0xFF000000u;
      }
    }
  }
  int lastSy = -1;
  for (int j = 0; j < h; ++j) {
    auto* dst = reinterpret_cast<uint32_t*>(out.scanLine(j));
    int64_t sy = (int64_t(y0) + j) * sh / dispH;
    if (sy < 0) sy = 0;
    if (sy >= sh) sy = sh - 1;
    if (int(sy) == lastSy && j > 0) {
      // Same source row as the line above: copy it.
      std::copy_n(reinterpret_cast<const uint32_t*>(out.scanLine(j - 1)), w, dst);
      continue;
    }
    lastSy = int(sy);
    const uint8_t* row = src.ScanLine(int(sy));
    if (pf == pf32bit) {
      const auto* r32 = reinterpret_cast<const uint32_t*>(row);
      const uint32_t opaque = keepAlpha ? 0u : 0xFF000000u;
      for (int i = 0; i < w; ++i) dst[i] = r32[cols[size_t(i)]] | opaque;
    } else if (pf == pf24bit) {
      for (int i = 0; i < w; ++i) {
        const uint8_t* p = row + size_t(cols[size_t(i)]) * 3;
        dst[i] = 0xFF000000u | uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16);
      }
    } else if (pf == pf8bit) {
      for (int i = 0; i < w; ++i) dst[i] = table[row[cols[size_t(i)]]];
    } else {
      for (int i = 0; i < w; ++i) {
        uint32_t p = src.PixelBGRA(cols[size_t(i)], int(sy));
        dst[i] = p | 0xFF000000u;
      }
    }
  }
}

TKWImage::TKWImage(QWidget* parent) : QWidget(parent), image_(new TKWBitmap) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  setAttribute(Qt::WA_NoSystemBackground);
  resize(0, 0);
}

TKWImage::~TKWImage() {
  image_->ClearHistory();
  delete image_;
  image_ = nullptr;
  ClearLog();
}

void TKWImage::SetZoomRate(float Z) {
  if (!(Z > 0.0f) || !std::isfinite(Z)) return;
  const int w = ZoomedExtent(image_->Width(), Z);
  const int h = ZoomedExtent(image_->Height(), Z);
  zoomRate_ = Z;
  showingAlpha_ = false;
  alphaView_.reset();
  setFixedSize(w, h);
  update();
}

void TKWImage::AddLog(std::unique_ptr<TKWParamPack> Pack) {
  if (Pack) log_.push_back(std::move(Pack));
}

void TKWImage::AddLog(const std::string& LogText) {
  log_.push_back(std::make_unique<TKWGenericParamPack>(LogText));
}

void TKWImage::ClearLog() { log_.clear(); }

void TKWImage::LoadFromFile(const std::string& FileName) {
  image_->LoadFromFile(FileName);
  Refresh();
}

void TKWImage::SaveToFile(const std::string& FileName) { image_->SaveToFile(FileName); }

void TKWImage::CopyImage(const TBitmap& Bitmap) {
  image_->CopyImage(Bitmap);
  Refresh();
}

void TKWImage::makeCurrent(TKWBitmap* New) {
  image_ = New;
  Refresh();
}

void TKWImage::AppendImage(TKWBitmap* New) {
  if (!New || New == image_) return;
  // With an undo limit of 0 the append frees the old image.
  image_->AppendSuccessor(New);
  makeCurrent(New);
}

bool TKWImage::Undo() {
  TKWBitmap* prev = image_->Prev;
  if (!prev) return false;
  // Read the swap file back before the step, so that a failure leaves the
  // document on the image it shows.
  if (prev->OnDisk) prev->SwapIn();
  makeCurrent(prev);
  return true;
}

bool TKWImage::Redo() {
  TKWBitmap* next = image_->Next;
  if (!next) return false;
  if (next->OnDisk) next->SwapIn();
  makeCurrent(next);
  return true;
}

void TKWImage::ZoomIn() { SetZoomRate(static_cast<float>(double(zoomRate_) * ZoomStep)); }

void TKWImage::ZoomOut() { SetZoomRate(static_cast<float>(double(zoomRate_) / ZoomStep)); }

void TKWImage::ApplyFilter(TKWBasicFilter* Filter, bool UpdateParams) {
  auto New = std::make_unique<TKWBitmap>();
  if (UpdateParams) Filter->UpdateParam();
  AddLog(std::unique_ptr<TKWParamPack>(Filter->CreateParamPack()));
  const std::string fileName = image_->FileName;
  image_->ApplyFilter(New.get(), Filter);
  // From here New is linked after the old image (which the step may have
  // freed under an undo limit of 0).
  commitStep(New.release(), fileName);
}

void TKWImage::commitStep(TKWBitmap* New, const std::string& FileName) {
  New->FileName = FileName;
  makeCurrent(New);
}

void TKWImage::ApplyMixer(TBitmap* Foreground, TKWBasicMixer* Mixer, bool UpdateParams,
                          const TMixOrigin& Placement) {
  auto New = std::make_unique<TKWBitmap>();
  if (UpdateParams) Mixer->UpdateParam();
  std::unique_ptr<TKWParamPack> pack(Mixer->CreateParamPack());
  if (auto* mp = dynamic_cast<TKWMixerPack*>(pack.get())) {
    mp->Flag = Placement.Clipping ? 1 : 0;
    mp->OriginX = Placement.X;
    mp->OriginY = Placement.Y;
  }
  AddLog(std::move(pack));
  const std::string fileName = image_->FileName;
  try {
    image_->ApplyMixer(New.get(), Foreground, Placement, Mixer);
  } catch (const ENoMixArea&) {
    return;
  }
  commitStep(New.release(), fileName);
}

void TKWImage::ApplyGenerator(TKWBasicGenerator* Generator, bool UpdateParams, int Width,
                              int Height) {
  auto New = std::make_unique<TKWBitmap>();
  if (UpdateParams) Generator->UpdateParam();
  std::unique_ptr<TKWParamPack> pack(Generator->CreateParamPack());
  if (auto* gp = dynamic_cast<TKWGeneratorPack*>(pack.get())) {
    gp->Width = Width;
    gp->Height = Height;
  }
  AddLog(std::move(pack));
  // A generator that fails (an impossible size, no memory) leaves the view
  // as it was; the caller hears why, so that a failure is never taken for
  // an empty picture.
  image_->ApplyGenerator(New.get(), Generator, Width, Height);
  commitStep(New.release(), "New");
}

void TKWImage::ToggleAlpha() {
  if (showingAlpha_) {
    Refresh();
    return;
  }
  auto gray = std::make_unique<TBitmap>();
  image_->AlphaToGray(*gray);
  alphaView_ = std::move(gray);
  showingAlpha_ = true;
  update();
}

const TBitmap& TKWImage::displaySource() const {
  if (showingAlpha_ && alphaView_) return *alphaView_;
  return *image_;
}

QPoint TKWImage::SourcePixel(int x, int y) const {
  const TBitmap& src = displaySource();
  if (width() <= 0 || height() <= 0) return {0, 0};
  return {int(int64_t(x) * src.Width() / width()), int(int64_t(y) * src.Height() / height())};
}

void TKWImage::paintEvent(QPaintEvent* e) {
  QRect r = e->rect().intersected(rect());
  if (r.isEmpty()) return;
  const TBitmap& src = displaySource();
  // Transparent parts over a checkerboard of 8-pixel squares that stays
  // with the image while it scrolls.
  const bool checker = CheckerBackground && !showingAlpha_ && image_->HasAlpha &&
                       src.PixelFormat() == pf32bit;
  QImage out(r.size(), checker ? QImage::Format_ARGB32 : QImage::Format_RGB32);
  RenderNearest(src, width(), height(), r.x(), r.y(), out, checker);
  QPainter p(this);
  if (checker) {
    QPixmap tile(16, 16);
    tile.fill(QColor(255, 255, 255));
    QPainter t(&tile);
    t.fillRect(0, 0, 8, 8, QColor(204, 204, 204));
    t.fillRect(8, 8, 8, 8, QColor(204, 204, 204));
    t.end();
    p.drawTiledPixmap(r, tile, QPoint(r.x() % 16, r.y() % 16));
  }
  p.drawImage(r.topLeft(), out);
}

void TKWImage::mousePressEvent(QMouseEvent* e) {
  if (OnClick) OnClick();
  QWidget::mousePressEvent(e);
}

QImage BitmapToQImage(const TBitmap& bmp, bool withAlpha) {
  QImage out(bmp.Width(), bmp.Height(), withAlpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
  if (out.isNull()) return out;
  if (withAlpha && bmp.PixelFormat() == pf32bit) {
    for (int y = 0; y < bmp.Height(); ++y)
      std::copy_n(bmp.Row32(y), bmp.Width(), reinterpret_cast<uint32_t*>(out.scanLine(y)));
    return out;
  }
  RenderNearest(bmp, bmp.Width(), bmp.Height(), 0, 0, out);
  return out;
}

void QImageToBitmap(const QImage& img, TBitmap& bmp) {
  // Other programs hand even opaque pictures over with an alpha channel;
  // one that is opaque everywhere counts as a picture without alpha.
  bool alpha = img.hasAlphaChannel();
  if (alpha) {
    QImage a = img.convertToFormat(QImage::Format_ARGB32);
    alpha = false;
    for (int y = 0; y < a.height() && !alpha; ++y) {
      const auto* s = reinterpret_cast<const uint32_t*>(a.constScanLine(y));
      for (int x = 0; x < a.width(); ++x)
        if ((s[x] >> 24) != 0xFF) {
          alpha = true;
          break;
        }
    }
  }
  QImage src = img.convertToFormat(alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
  CheckImageSize(src.width(), src.height());
  bmp.SetPixelFormat(pf32bit);
  bmp.SetSize(src.width(), src.height());
  for (int y = 0; y < src.height(); ++y) {
    const auto* s = reinterpret_cast<const uint32_t*>(src.constScanLine(y));
    uint32_t* d = bmp.Row32(y);
    if (alpha)
      std::copy_n(s, src.width(), d);
    else
      for (int x = 0; x < src.width(); ++x) d[x] = s[x] & 0x00FFFFFFu;
  }
  if (!alpha) bmp.SetPixelFormat(pf24bit);
}
