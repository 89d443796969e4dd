// Negative: every byte of every pixel becomes its complement.
#pragma once

#include "procdef/kwproc.h"

namespace kwlib {

class TKWNegativeFilter : public TKWBasicFilter {
 public:
  void Filter(TBitmap* Src, TBitmap* Dst) override;
  void* Panel = nullptr;  // back reference, not owned
};

}  // namespace kwlib
