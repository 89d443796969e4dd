// Grayscale: each pixel becomes the gray of its rounded luminance.
#pragma once

#include "procdef/kwproc.h"

namespace kwlib {

class TKWGrayScale : public TKWBasicFilter {
 public:
  void Filter(TBitmap* Src, TBitmap* Dst) override;
  void* Panel = nullptr;  // back reference, not owned
};

}  // namespace kwlib
