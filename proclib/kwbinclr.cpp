#include "proclib/kwbinclr.h"

#include <array>
#include <vector>

#include "proclib/kwfilterutil.h"
#include "proclib/kwhistgram.h"
#include "proclib/luminance.h"

namespace kwlib {

const TParamTable<TKWBinClrPack>& TKWBinClrPack::Table() {
  // The settings file says "ThMode" where the parameter is "Th_Mode".
  static const TParamTable<TKWBinClrPack> t = {
      IntParam<TKWBinClrPack>("Th_Mode", "ThMode", &TKWBinClrPack::ThMode, 0).In("0..2"),
      IntParam<TKWBinClrPack>("Threshold", "Threshold", &TKWBinClrPack::Threshold, 128).In("0..255"),
  };
  return t;
}

double TKWBinClr::MedianThreshold(const uint32_t h[256], uint64_t n) {
  const uint64_t m = n / 2;
  if (m < h[0]) return double(m) / double(h[0]);
  uint64_t c = h[0];
  for (int L = 1; L < 256; ++L) {
    if (c + h[L] >= m) {
      // Bin L spreads over L - 1 .. L; nothing left to place means fraction 0.
      double frac = (m == c) ? 0.0 : double(m - c) / double(h[L]);
      return frac + (L - 1);
    }
    c += h[L];
  }
  return 255.0;  // unreachable: the bins add up to n >= m
}

double TKWBinClr::ChooseThreshold(const TBitmap& Src, int32_t mode, int32_t threshold) {
  if (mode == 2) return threshold;
  if (mode != 1) return 128.0;
  const int w = Src.Width(), ht = Src.Height();
  // A histogram per band of rows, added up once all are done.
  std::vector<std::array<uint32_t, 256>> parts(size_t(ht + kBandRows - 1) / kBandRows);
  SpreadRows(
      ht, 64,
      [&](int y0, int y1) {
        std::array<uint32_t, 256>& part = parts[size_t(y0 / kBandRows)];
        part.fill(0);
        for (int i = y0; i < y1; ++i) {
          const uint32_t* s = Src.Row32(i);
          for (int x = 0; x < w; ++x) ++part[TruncLuminance(s[x])];
        }
      },
      [&](int i) { Progress(RowRate(i, ht)); });
  uint32_t hist[256] = {};
  for (const auto& part : parts)
    for (int L = 0; L < 256; ++L) hist[L] += part[size_t(L)];
  return MedianThreshold(hist, uint64_t(w) * uint64_t(ht));
}

void TKWBinClr::Filter(TBitmap* Src, TBitmap* Dst) {
  CheckFilterBitmaps(Src, Dst);
  const double t = ChooseThreshold(*Src, settings_->ThMode, settings_->Threshold);
  const TLumThreshold th(t);
  const int w = Src->Width(), h = Src->Height();
  SpreadRows(
      h, 64,
      [&](int y0, int y1) {
        for (int i = y0; i < y1; ++i) {
          const uint32_t* s = Src->Row32(i);
          uint32_t* d = Dst->Row32(i);
          for (int x = 0; x < w; ++x) {
            // B, G and R only: the fourth byte of the destination stays as it is.
            uint32_t v = th.AtLeast(s[x]) ? 0x00FFFFFFu : 0u;
            d[x] = (d[x] & 0xFF000000u) | v;
          }
        }
      },
      [&](int i) { Progress(RowRate(i, h)); });
}

void TKWBinClr::OnImageChange(TBitmap* Image) {
  if (Histogram && Image) Histogram->Request(*Image);
}

}  // namespace kwlib
