// Resize: the source tiled or stretched into a new size.
#pragma once

#include <functional>

#include "procdef/kwproc.h"
#include "proclib/paramtable.h"

namespace kwlib {

struct TResizePack : TKWParamPack {
  explicit TResizePack(TKWProcessor* proc = nullptr) : TKWParamPack(proc) {
    SetDefaults(Table(), *this);
  }
  int32_t Width, Height;     // the new size
  int32_t OffsetX, OffsetY;  // a tile corner
  int32_t Method;            // 0 tile, 1 stretch
  static const TParamTable<TResizePack>& Table();
};

class TKWResize : public TTableProcessor<TResizePack, TKWBasicFilter> {
 public:
  using TTableProcessor::TTableProcessor;
  void Filter(TBitmap* Src, TBitmap* Dst) override;
  void InitSize(TSize& Size) override;
  bool CanPreview() override { return false; }
  void OnImageChange(TBitmap* Image) override;

  // The panel shows the current image's size.
  std::function<void(int w, int h)> OnShowSize;
};

// The first tile position at or before 0 for a tile corner at offset,
// tiles of size step (> 0) apart.
int FirstTile(int64_t offset, int step);

}  // namespace kwlib
