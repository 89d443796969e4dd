#include "proclib/kwresize.h"

#include <algorithm>

#include "platform/bitmap.h"
#include "platform/canvas.h"

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
  TCanvas& c = Dst->Canvas();
  if (settings_->Method == 0) {
    for (int y = FirstTile(settings_->OffsetY, H); y < dh; y += H)
      for (int x = FirstTile(settings_->OffsetX, W); x < dw; x += W) c.Draw(x, y, *Src);
  } else if (settings_->Method == 1) {
    c.StretchDraw(TRect{0, 0, dw, dh}, *Src);
  }
}

void TKWResize::OnImageChange(TBitmap* Image) {
  if (Image && OnShowSize) OnShowSize(Image->Width(), Image->Height());
}

}  // namespace kwlib
