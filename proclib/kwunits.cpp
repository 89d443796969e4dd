// Registration order of the package: one line per processor unit.
#include "proclib/kwunits.h"

namespace kwlib {

std::vector<TKWUnit*>& PackageUnits() {
  static std::vector<TKWUnit*> units = {
      &NegaUnit(),       // 1  Negative
      &GrayScaleUnit(),  // 2  GrayScale
      &MaskUnit(),    // 3  Mask
      &MedianUnit(),  // 4  KWMedian
      &MinMaxUnit(),  // 5  KWMinMax
      &BinClrUnit(),  // 6  KWBinClr
      &RGBUnit(),     // 7  KWRGB
      &OverlapUnit(),   // 8  KWOverlap
      &LogicalUnit(),   // 9  LogicalOperate
      &AverageUnit(),   // 10 Average
      &SelectorUnit(),  // 11 Selector
      &HistFlatUnit(),  // 12 Histgram Flatness
      &ResizeUnit(),  // 13 Resize
      &AxisUnit(),    // 14 AxisOperate
      &AffineUnit(),  // 15 Affine
      &PolerUnit(),   // 16 Poler
      &PureColorUnit(),  // 17 KWPureColor
      &GradationUnit(),  // 18 KWGradation
      &JuliaUnit(),      // 19 KWJulia
      &DifferUnit(),  // 20 KWDiffer
      &GammaUnit(),  // 21 Gamma
  };
  return units;
}

}  // namespace kwlib
