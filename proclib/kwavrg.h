// Average mixer: simple mean, weighted mean, mean of squares, or a mean of
// square roots, per channel.
#pragma once

#include "procdef/kwproc.h"
#include "proclib/paramtable.h"

namespace kwlib {

// Integer division by zero (the weighted mean with weights adding up to 0).
class EDivByZero : public Exception {
 public:
  EDivByZero() : Exception("Division by zero") {}
};

struct TAveragePack : TKWMixerPack {
  explicit TAveragePack(TKWProcessor* proc = nullptr) : TKWMixerPack(proc) {
    SetDefaults(Table(), *this);
  }
  // 0 simple, 1 weighted, 2 mean of squares, 3 mean of square roots (no
  // panel item); anything else leaves the destination as the host made it.
  int32_t Mode;
  int32_t BGWait, FGWait;  // weights of mode 1
  static const TParamTable<TAveragePack>& Table();
};

// Channel results of the modes, by the formulas themselves.
uint8_t AverageWeighted(uint32_t b, uint32_t f, int32_t BGWait, int32_t FGWait);
uint8_t AverageSquares(uint32_t b, uint32_t f);
uint8_t AverageRoots(uint32_t b, uint32_t f);

// The result of every background/foreground value pair of one mode.
struct TPairTable {
  uint8_t v[256][256];
};
const TPairTable& SquaresTable();
const TPairTable& RootsTable();
// Raises EDivByZero when the weights add up to 0 (in 32-bit arithmetic).
void MakeWeightedTable(int32_t BGWait, int32_t FGWait, TPairTable& t);

// Rows: mode 0, and the table modes.
void AverageRow(const uint32_t* b, const uint32_t* f, uint32_t* d, int n);
void PairTableRow(const uint32_t* b, const uint32_t* f, uint32_t* d, int n, const TPairTable& t);

class TAverageMixer : public TTableProcessor<TAveragePack, TKWBasicMixer> {
 public:
  using TTableProcessor::TTableProcessor;
  void Mixer(TBitmap* BG, TBitmap* FG, TBitmap* Dst, const TPoint& Origin) override;
};

}  // namespace kwlib
