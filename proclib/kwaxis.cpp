#include "proclib/kwaxis.h"

#include <algorithm>
#include <cstring>

#include "proclib/kwfilterutil.h"

namespace kwlib {

const TParamTable<TKWAxisPack>& TKWAxisPack::Table() {
  static const TParamTable<TKWAxisPack> t = {
      IntParam<TKWAxisPack>("Operate", "Operate", &TKWAxisPack::Operate, 0).In("0..4"),
  };
  return t;
}

void TKWAxisOperate::InitSize(TSize& Size) {
  if (settings_->Operate == 2 || settings_->Operate == 3) std::swap(Size.cx, Size.cy);
}

bool TKWAxisOperate::CanPreview() {
  const int op = settings_->Operate;
  return op == 0 || op == 1 || op == 4;
}

void TKWAxisOperate::Filter(TBitmap* Src, TBitmap* Dst) {
  const int op = settings_->Operate;
  if (op < 0 || op > 4) return;
  if (!Src || !Dst || Src->PixelFormat() != pf32bit || Dst->PixelFormat() != pf32bit)
    throw Exception("The filter needs a source and a destination with 32 bits per pixel.");
  const int w = Src->Width(), h = Src->Height();
  const bool turn = op == 2 || op == 3;
  if (Dst->Width() != (turn ? h : w) || Dst->Height() != (turn ? w : h))
    throw Exception("The destination of the axis operation has the wrong size.");
  for (int i = 0; i < h; ++i) {
    if (i % 32 == 31) Progress(RowRate(i, h));
    const uint32_t* s = Src->Row32(i);
    switch (op) {
      case 0: {
        uint32_t* d = Dst->Row32(i);
        std::reverse_copy(s, s + w, d);
        break;
      }
      case 1:
        if (w > 0) std::memcpy(Dst->Row32(h - 1 - i), s, size_t(w) * 4);
        break;
      case 2:  // source (x, i) goes to column h - 1 - i of row x
        for (int x = 0; x < w; ++x) Dst->Row32(x)[h - 1 - i] = s[x];
        break;
      case 3:  // source (x, i) goes to column i of row w - 1 - x
        for (int x = 0; x < w; ++x) Dst->Row32(w - 1 - x)[i] = s[x];
        break;
      case 4: {
        uint32_t* d = Dst->Row32(h - 1 - i);
        std::reverse_copy(s, s + w, d);
        break;
      }
    }
  }
}

}  // namespace kwlib
