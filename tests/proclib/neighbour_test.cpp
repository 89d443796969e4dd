// Median and minimum/maximum filters: window shapes, clamped rows, copied
// border columns, and the filters against a plain per-pixel computation on
// random images of many sizes (narrow ones included).
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "proclib/kwmedian.h"
#include "proclib/kwminmax.h"
#include "proclib/kwordernet.h"
#include "proclib/kwwindow.h"
#include "testutil.h"

using namespace kwlib;
using namespace kwtest;

namespace {

template <class F>
std::unique_ptr<TBitmap> Apply(F& f, const TBitmap& src, uint32_t fill = 0) {
  auto dst = Bmp(src.Width(), src.Height());
  for (int y = 0; y < src.Height(); ++y)
    for (int x = 0; x < src.Width(); ++x) dst->Row32(y)[x] = fill;
  f.ExecFilter(const_cast<TBitmap*>(&src), dst.get());
  return dst;
}

bool InShape(int range, int dx, int dy) {
  int ax = std::abs(dx), ay = std::abs(dy);
  switch (range) {
    case 0: return ax + ay <= 1;
    case 1: return ax <= 1 && ay <= 1;
    case 2: return ax + ay <= 2;
    default: return true;
  }
}

// kind 0: median, 1: minimum, 2: maximum.
std::unique_ptr<TBitmap> Reference(const TBitmap& src, int range, int kind) {
  const int w = src.Width(), h = src.Height(), border = range < 2 ? 1 : 2;
  auto dst = Bmp(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      uint32_t c = src.Row32(y)[x];
      if (x < border || x >= w - border) {
        dst->Row32(y)[x] = c;
        continue;
      }
      uint32_t out = c & 0xFF000000u;
      for (int ch = 0; ch < 3; ++ch) {
        std::vector<int> v;
        for (int dy = -2; dy <= 2; ++dy)
          for (int dx = -2; dx <= 2; ++dx)
            if (InShape(range, dx, dy)) {
              int yy = std::min(std::max(y + dy, 0), h - 1);
              v.push_back((src.Row32(yy)[x + dx] >> (8 * ch)) & 0xFF);
            }
        std::sort(v.begin(), v.end());
        int r = kind == 0 ? v[v.size() / 2] : kind == 1 ? v.front() : v.back();
        out |= uint32_t(r) << (8 * ch);
      }
      dst->Row32(y)[x] = out;
    }
  return dst;
}

void ExpectSame(const TBitmap& a, const TBitmap& b) {
  ASSERT_EQ(a.Width(), b.Width());
  ASSERT_EQ(a.Height(), b.Height());
  int64_t bad = 0;
  for (int y = 0; y < a.Height(); ++y)
    for (int x = 0; x < a.Width(); ++x) bad += a.Row32(y)[x] != b.Row32(y)[x];
  EXPECT_EQ(bad, 0);
}

std::unique_ptr<TBitmap> Uniform(int w, int h, uint32_t c) {
  auto b = Bmp(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) b->Row32(y)[x] = c;
  return b;
}

}  // namespace

TEST(WindowShape, CountsAndOffsets) {
  const int counts[4] = {5, 9, 13, 25};
  for (int r = 0; r < 4; ++r) {
    const TWindowShape* s = WindowShape(r);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->Count, counts[r]);
    int k = 0;
    for (int dy = -2; dy <= 2; ++dy)
      for (int dx = -2; dx <= 2; ++dx)
        if (InShape(r, dx, dy)) {
          EXPECT_EQ(s->Dx[k], dx);
          EXPECT_EQ(s->Dy[k], dy);
          ++k;
        }
  }
  // The diamond: the 3 x 3 square and the four points at distance 2.
  EXPECT_TRUE(InShape(2, 0, -2) && InShape(2, 1, 1) && !InShape(2, 1, 2));
  EXPECT_EQ(WindowShape(-1), nullptr);
  EXPECT_EQ(WindowShape(4), nullptr);
}

TEST(Median, SelectionGivesMiddleValue) {
  std::mt19937 rng(5);
  for (int n : {5, 9, 13, 25})
    for (int t = 0; t < 2000; ++t) {
      uint8_t v[25];
      std::vector<int> s;
      for (int k = 0; k < n; ++k) s.push_back(v[k] = uint8_t(rng() % (t % 2 ? 4 : 256)));
      std::sort(s.begin(), s.end());
      ASSERT_EQ(TKWMedian::Median(v, n), s[n / 2]);
    }
}

TEST(Median, RemovesSpotKeepsBorderColumns) {
  TKWMedianPack pack;
  pack.Range = 1;
  auto f = TKWProcessor::Create<TKWMedian>(&pack);
  auto src = Uniform(5, 5, BGRA(10, 20, 30, 7));
  src->Row32(2)[2] = BGRA(255, 255, 255, 9);
  src->Row32(3)[0] = BGRA(200, 201, 202, 3);  // leftmost column
  src->Row32(1)[4] = BGRA(1, 2, 3, 4);        // rightmost column
  auto dst = Apply(*f, *src);
  EXPECT_EQ(dst->Row32(2)[2], BGRA(10, 20, 30, 9));  // fourth byte of the centre
  EXPECT_EQ(dst->Row32(3)[0], BGRA(200, 201, 202, 3));
  EXPECT_EQ(dst->Row32(1)[4], BGRA(1, 2, 3, 4));
  EXPECT_EQ(dst->Row32(3)[1], BGRA(10, 20, 30, 7));
}

TEST(MinMax, RowsClampAndTwoBorderColumnsForLargeShapes) {
  TKWMinMaxParam pack;
  pack.MinMax = 0;
  pack.Range = 3;
  auto f = TKWProcessor::Create<TKWMinMax>(&pack);
  // Rows 100, 150, 120, 10: a window wrapping round would see the 10.
  auto src = Bmp(6, 4);
  const int level[4] = {100, 150, 120, 10};
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 6; ++x) src->Row32(y)[x] = BGRA(level[y], level[y] + 1, level[y] + 2, x);
  auto dst = Apply(*f, *src);
  for (int x : {0, 1, 4, 5})
    for (int y = 0; y < 4; ++y) EXPECT_EQ(dst->Row32(y)[x], src->Row32(y)[x]);
  EXPECT_EQ(dst->Row32(0)[2], BGRA(100, 101, 102, 2));
  EXPECT_EQ(dst->Row32(1)[3], BGRA(10, 11, 12, 3));
  pack.MinMax = 1;
  dst = Apply(*f, *src);
  EXPECT_EQ(dst->Row32(0)[2], BGRA(150, 151, 152, 2));
  EXPECT_EQ(dst->Row32(3)[2], BGRA(150, 151, 152, 2));
}

TEST(OrderFilters, MatchPlainComputationOnRandomImages) {
  TKWMedianPack mp;
  TKWMinMaxParam xp;
  auto med = TKWProcessor::Create<TKWMedian>(&mp);
  auto mm = TKWProcessor::Create<TKWMinMax>(&xp);
  const int sizes[][2] = {{1, 1}, {1, 7}, {2, 3}, {3, 2}, {4, 4}, {5, 1}, {6, 9}, {37, 23}, {130, 70}};
  uint32_t seed = 11;
  for (auto& s : sizes)
    for (int range = 0; range < 4; ++range) {
      auto src = RandomBmp(s[0], s[1], seed++);
      SCOPED_TRACE(testing::Message() << s[0] << "x" << s[1] << " range " << range);
      mp.Range = range;
      ExpectSame(*Apply(*med, *src), *Reference(*src, range, 0));
      xp.Range = range;
      xp.MinMax = 0;
      ExpectSame(*Apply(*mm, *src), *Reference(*src, range, 1));
      xp.MinMax = 1;
      ExpectSame(*Apply(*mm, *src), *Reference(*src, range, 2));
    }
}

TEST(OrderFilters, UnknownRangeWritesNothing) {
  TKWMedianPack mp;
  TKWMinMaxParam xp;
  auto med = TKWProcessor::Create<TKWMedian>(&mp);
  auto mm = TKWProcessor::Create<TKWMinMax>(&xp);
  auto src = RandomBmp(8, 8, 3);
  for (int r : {-1, 4}) {
    mp.Range = xp.Range = r;
    ExpectSame(*Apply(*med, *src, 0x12345678u), *Uniform(8, 8, 0x12345678u));
    ExpectSame(*Apply(*mm, *src, 0x12345678u), *Uniform(8, 8, 0x12345678u));
  }
}

TEST(OrderFilters, ParametersAndPacks) {
  TKWMinMaxParam xp;
  auto mm = TKWProcessor::Create<TKWMinMax>(&xp);
  ASSERT_EQ(mm->Params.Count(), 2);
  EXPECT_EQ(mm->Params.Strings(0), "MinMax");
  EXPECT_EQ(mm->Params.Strings(1), "Range");
  EXPECT_EQ(mm->Param(1)->ParamType, TKWParamType::ptInteger);
  mm->Param(0)->SetInteger(1);
  mm->Param(1)->SetInteger(3);
  EXPECT_EQ(xp.MinMax, 1);
  EXPECT_EQ(xp.Range, 3);
  std::unique_ptr<TKWParamPack> copy(mm->CreateParamPack());
  xp.Range = 0;
  mm->GetParams(copy.get());
  EXPECT_EQ(xp.Range, 3);
  TKWMedianPack mp;
  auto med = TKWProcessor::Create<TKWMedian>(&mp);
  ASSERT_EQ(med->Params.Count(), 1);
  EXPECT_EQ(med->Params.Strings(0), "Range");
  EXPECT_THROW(med->GetParams(copy.get()), EInvalidCast);
}

TEST(OrderFilters, FastRowsMatchOnePixelAtATime) {
  TKWMedianPack mp;
  TKWMinMaxParam xp;
  auto med = TKWProcessor::Create<TKWMedian>(&mp);
  auto mm = TKWProcessor::Create<TKWMinMax>(&xp);
  std::mt19937 rng(77);
  for (int t = 0; t < 60; ++t) {
    const int w = 1 + int(rng() % 41), h = 1 + int(rng() % 9);
    auto src = RandomBmp(w, h, rng());
    if (t % 3 == 0)  // few levels, many ties
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) src->Row32(y)[x] &= 0x03030303u;
    for (int range = 0; range < 4; ++range) {
      SCOPED_TRACE(testing::Message() << w << "x" << h << " range " << range);
      mp.Range = xp.Range = range;
      auto a = Apply(*med, *src), b = Bmp(w, h);
      med->FilterPlain(src.get(), b.get());
      ExpectSame(*a, *b);
      for (int mx : {0, 1, 2}) {
        xp.MinMax = mx;
        auto c = Apply(*mm, *src), e = Bmp(w, h);
        mm->FilterPlain(src.get(), e.get());
        ExpectSame(*c, *e);
      }
    }
  }
}

// The fast median sorts each column of the window and then runs one network
// over the sorted columns.  Both steps are comparator networks, so they give
// the median of every window when they give it of every window of zeros and
// ones: all 2^n of them are tried here, 64 at a time (bit t of a word is
// window number 64 * word + t).
TEST(OrderFilters, MedianNetworksSelectTheMiddleOfEveryZeroOneWindow) {
  using namespace ordernet;
  auto run = [](const TNet& net, uint64_t* v) {
    for (int k = 0; k < net.Count; ++k) {
      const uint64_t a = v[net.C[k].Lo], b = v[net.C[k].Hi];
      if (net.C[k].Kind & 1) v[net.C[k].Lo] = a & b;
      if (net.C[k].Kind & 2) v[net.C[k].Hi] = a | b;
    }
  };
  const TNet medians[4] = {kMedianNet<0>, kMedianNet<1>, kMedianNet<2>, kMedianNet<3>};
  for (int range = 0; range < 4; ++range) {
    const TColumns& cols = kColumns[range];
    const TNet& med = medians[range];
    const int n = med.Wires;
    int64_t wrong = 0;
    for (uint64_t word = 0; word < (uint64_t(1) << n) / 64 + (n < 6); ++word) {
      uint64_t v[25], in[25];
      const uint64_t low[6] = {0xAAAAAAAAAAAAAAAAu, 0xCCCCCCCCCCCCCCCCu, 0xF0F0F0F0F0F0F0F0u,
                               0xFF00FF00FF00FF00u, 0xFFFF0000FFFF0000u, 0xFFFFFFFF00000000u};
      for (int k = 0; k < n; ++k) in[k] = k < 6 ? low[k] : ((word >> (k - 6)) & 1) ? ~uint64_t(0) : 0;
      // Sort each column, then lay the ranks out as the network expects.
      for (int c = 0, first = 0; c < cols.Count; first += cols.Height[c++]) {
        const int h = cols.Height[c];
        uint64_t col[5];
        std::copy(in + first, in + first + h, col);
        if (h > 1) run(h == 3 ? kSortNet<3> : kSortNet<5>, col);
        for (int r = 0; r < h; ++r) v[first + r] = h > 1 ? col[(h == 3 ? kSortNet<3> : kSortNet<5>).Order[r]] : col[0];
      }
      run(med, v);
      for (int t = 0; t < 64 && (word * 64 + t) >> n == 0; ++t) {
        const int ones = __builtin_popcountll(word) + __builtin_popcount(unsigned(t));
        wrong += int((v[med.Out] >> t) & 1) != int(ones >= n - (n - 1) / 2);
      }
    }
    EXPECT_EQ(wrong, 0) << "range " << range;
  }
}
