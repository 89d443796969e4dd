// The units of the package, one function per processor unit.
#pragma once

#include "proclib/kwunit.h"

namespace kwlib {

TKWUnit& NegaUnit();
TKWUnit& GrayScaleUnit();
TKWUnit& MaskUnit();
TKWUnit& MedianUnit();
TKWUnit& MinMaxUnit();
TKWUnit& BinClrUnit();
TKWUnit& RGBUnit();
TKWUnit& OverlapUnit();
TKWUnit& LogicalUnit();
TKWUnit& AverageUnit();
TKWUnit& SelectorUnit();
TKWUnit& HistFlatUnit();
TKWUnit& ResizeUnit();
TKWUnit& AxisUnit();
TKWUnit& AffineUnit();
TKWUnit& PolerUnit();
TKWUnit& PureColorUnit();
TKWUnit& GradationUnit();
TKWUnit& JuliaUnit();
TKWUnit& DifferUnit();
TKWUnit& GammaUnit();

}  // namespace kwlib
