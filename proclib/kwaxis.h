// Axis operations: mirrors and quarter turns.
#pragma once

#include "procdef/kwproc.h"
#include "proclib/paramtable.h"

namespace kwlib {

struct TKWAxisPack : TKWParamPack {
  explicit TKWAxisPack(TKWProcessor* proc = nullptr) : TKWParamPack(proc) {
    SetDefaults(Table(), *this);
  }
  // 0 mirror left-right, 1 mirror top-bottom, 2 quarter turn clockwise,
  // 3 quarter turn counter-clockwise, 4 half turn.
  int32_t Operate;
  static const TParamTable<TKWAxisPack>& Table();
};

class TKWAxisOperate : public TTableProcessor<TKWAxisPack, TKWBasicFilter> {
 public:
  using TTableProcessor::TTableProcessor;
  void Filter(TBitmap* Src, TBitmap* Dst) override;
  // Quarter turns exchange width and height.
  void InitSize(TSize& Size) override;
  // The turns that change the size cannot be previewed.
  bool CanPreview() override;
};

}  // namespace kwlib
