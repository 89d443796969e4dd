// Overlap mixer: the foreground is laid over the background except where
// its colour lies in a transparent range per channel (optionally with soft
// edges, optionally inverted).
#pragma once

#include <array>

#include "procdef/kwproc.h"
#include "proclib/paramtable.h"

namespace kwlib {

struct TKWOverlapPack : TKWMixerPack {
  explicit TKWOverlapPack(TKWProcessor* proc = nullptr) : TKWMixerPack(proc) {
    SetDefaults(Table(), *this);
  }
  // Lower and upper bound of each channel's transparent range.
  int32_t RLow, RHigh, GLow, GHigh, BLow, BHigh;
  bool RInv, GInv, BInv;           // draw only inside the range instead
  bool RSmooth, GSmooth, BSmooth;  // soft edges
  static const TParamTable<TKWOverlapPack>& Table();
};

// Foreground weight per channel value: 0 transparent .. 65535 opaque.
using TWeightTable = std::array<uint32_t, 256>;
TWeightTable MakeWeightTable(int32_t Low, int32_t High, bool Inv, bool Smooth);

// The three tables of one mix, also with each weight repeated in the four
// 16-bit lanes of a 64-bit word (the largest of three such words is the
// largest weight, repeated).
struct TOverlapTables {
  TOverlapTables(const TWeightTable& b, const TWeightTable& g, const TWeightTable& r);
  TWeightTable B, G, R;
  uint64_t WideB[256], WideG[256], WideR[256];
};

// One row of the overlap: d[x] from b[x] and f[x].
void OverlapRow(const uint32_t* b, const uint32_t* f, uint32_t* d, int n, const TOverlapTables& t);

class TKWOverlap : public TTableProcessor<TKWOverlapPack, TKWBasicMixer> {
 public:
  using TTableProcessor::TTableProcessor;
  void Mixer(TBitmap* BG, TBitmap* FG, TBitmap* Dst, const TPoint& Origin) override;
};

}  // namespace kwlib
