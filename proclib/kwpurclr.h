// Pure colour: fills the whole image with one colour.
#pragma once

#include <cstdint>

#include "procdef/kwproc.h"
#include "proclib/paramtable.h"

namespace kwlib {

struct TPureColorPack : TKWGeneratorPack {
  explicit TPureColorPack(TKWProcessor* proc = nullptr) : TKWGeneratorPack(proc) {
    SetDefaults(Table(), *this);
  }
  int32_t Red, Green, Blue;
  static const TParamTable<TPureColorPack>& Table();
};

class TKWPureColor : public TTableProcessor<TPureColorPack, TKWBasicGenerator> {
 public:
  using TTableProcessor::TTableProcessor;
  void Generator(TBitmap* Bitmap) override;
  // Red + 256 Green + 65536 Blue, unclamped: a value above 255 carries
  // into the next channel (wrapping in 32 bits).
  static TColor FillColor(int32_t Red, int32_t Green, int32_t Blue);
};

}  // namespace kwlib
