#include "proclib/kwresize.h"

#include <algorithm>

#include "platform/bitmap.h"
#include "platform/canvas.h"
#include "proclib/kwfilterutil.h"

namespace kwlib {

const TParamTable<TResizePack>& TResizePack::Table() {
  static const TParamTable<TResizePack> t = {
      // The panel's own initial size; a size of 0 would make the image vanish.
      IntParam<TResizePack>("Width", "Width", &TResizePack::Width, 640).In("1..9999"),
      IntParam<TResizePack>("Height", "Height", &TResizePack::Height, 480).In("1..9999"),
      IntParam<TResizePack>("OffsetX", "OffsetX", &TResizePack::OffsetX, 0).In("0..9999"),
      IntParam<TResizePack>("OffsetY", "OffsetY", &TResizePack::OffsetY, 0).In("0..9999"),
      IntParam<TResizePack>("Method", "Method", &TResizePack::Method, 0).In("0..1"),
  };
  return t;
}

int FirstTile(int64_t offset, int step) {
  int64_t r = offset % step;  // in (-step, step)
  if (r > 0) r -= step;
  return int(r);
}

void TKWResize::InitSize(TSize& Size) {
  // A negative size is no size.
  Size.cx = std::max(settings_->Width, 0);
  Size.cy = std::max(settings_->Height, 0);
}

void TKWResize::Filter(TBitmap* Src, TBitmap* Dst) {
  if (!Src || !Dst) throw Exception("The filter needs a source and a destination.");
  // The destination was made Width x Height; its own size bounds the drawing.
  const int W = Src->Width(), H = Src->Height(), dw = Dst->Width(), dh = Dst->Height();
  if (W <= 0 || H <= 0 || dw <= 0 || dh <= 0) return;
  const int method = settings_->Method;
  if (method != 0 && method != 1) return;
  // Made here, before the threads share it.
  TCanvas& c = Dst->Canvas();
  const int tileY = FirstTile(settings_->OffsetY, H), tileX = FirstTile(settings_->OffsetX, W);
  SpreadRows(
      dh, 32,
      [&](int y0, int y1) {
        if (method == 1) {
          c.StretchDrawRows(TRect{0, 0, dw, dh}, *Src, y0, y1);
          return;
        }
        // The rows of tiles that reach into the band.
        for (int y = tileY + std::max(0, (y0 - tileY) / H - 1) * H; y < y1; y += H)
          if (y + H > y0)
            for (int x = tileX; x < dw; x += W) c.DrawRows(x, y, *Src, y0, y1);
      },
      [&](int i) { Progress(RowRate(i, dh)); });
}

void TKWResize::OnImageChange(TBitmap* Image) {
  if (Image && OnShowSize) OnShowSize(Image->Width(), Image->Height());
}

}  // namespace kwlib
