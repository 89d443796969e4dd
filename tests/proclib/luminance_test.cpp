#include <gtest/gtest.h>

#include "proclib/luminance.h"
#include "testutil.h"

using namespace kwlib;
using kwtest::Lum;

// The integer formulation against the extended formula on every colour.
TEST(Luminance, RoundAndTruncMatchExtendedFormulaOnAllColours) {
  int64_t roundBad = 0, truncBad = 0;
  for (uint32_t p = 0; p < (1u << 24); ++p) {
    long double y = Lum(p);
    if (RoundLuminance(p) != Round(y)) ++roundBad;
    if (TruncLuminance(p) != Trunc(y)) ++truncBad;
  }
  EXPECT_EQ(roundBad, 0);
  EXPECT_EQ(truncBad, 0);
}

TEST(Luminance, ThresholdMatchesExtendedComparisonOnAllColours) {
  // Integer thresholds (modes 0 and 2) and fractional ones (mode 1).
  for (double t : {0.0, 1.0, 10.0, 127.99, 128.0, 200.5, 255.0, 255.002, 0.25, -1.0, 300.0}) {
    TLumThreshold th(t);
    int64_t bad = 0;
    for (uint32_t p = 0; p < (1u << 24); p += (t == 128.0 ? 1 : 7))
      if (th.AtLeast(p) != (Lum(p) >= t)) ++bad;
    EXPECT_EQ(bad, 0) << "t = " << t;
  }
}

TEST(Luminance, KnownValues) {
  EXPECT_EQ(RoundLuminance(kwtest::BGRA(0, 0, 255)), 76);  // 76.24
  EXPECT_EQ(RoundLuminance(kwtest::BGRA(255, 255, 255)), 255);  // 255.002
  EXPECT_EQ(TruncLuminance(kwtest::BGRA(255, 255, 255)), 255);
  EXPECT_EQ(TruncLuminance(0), 0);
}
