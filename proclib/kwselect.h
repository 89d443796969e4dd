// Primary-colour selector: each output channel from one of six sources.
#pragma once

#include "procdef/kwproc.h"
#include "proclib/paramtable.h"

namespace kwlib {

struct TSelectorPack : TKWParamPack {
  explicit TSelectorPack(TKWProcessor* proc = nullptr) : TKWParamPack(proc) {
    SetDefaults(Table(), *this);
  }
  // 0 red, 1 green, 2 blue, 3 zero, 4 255, 5 the channel's value
  int32_t SourceR, SourceG, SourceB;
  int32_t ValueR, ValueG, ValueB;
  static const TParamTable<TSelectorPack>& Table();
};

class TKWSelector : public TTableProcessor<TSelectorPack, TKWBasicFilter> {
 public:
  using TTableProcessor::TTableProcessor;
  void Filter(TBitmap* Src, TBitmap* Dst) override;
};

}  // namespace kwlib
