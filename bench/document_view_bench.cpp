// Painting of the zoomable view: what one repaint of the visible area costs
// for a 6000 x 4000 image, against the cost of a full-size display copy
// (what painting would cost if it scaled the whole image).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>

#include "image/kwimage.h"

namespace {

TKWBitmap& BigImage() {
  static TKWBitmap* b = [] {
    auto* bmp = new TKWBitmap;
    bmp->SetPixelFormat(pf32bit);
    bmp->SetSize(6000, 4000);
    uint32_t s = 1;
    for (int y = 0; y < 4000; ++y) {
      uint32_t* r = bmp->Row32(y);
      for (int x = 0; x < 6000; ++x) r[x] = (s = s * 1664525u + 1013904223u) >> 8;
    }
    return bmp;
  }();
  return *b;
}

// One repaint of a 1200 x 800 viewport at 400 % somewhere in the middle.
void BM_ViewportRepaintAt400(benchmark::State& st) {
  TKWBitmap& b = BigImage();
  QImage out(1200, 800, QImage::Format_RGB32);
  int x0 = 9000;
  for (auto _ : st) {
    RenderNearest(b, 24000, 16000, x0, 7000, out);
    benchmark::DoNotOptimize(out.bits());
    x0 = 9000 + (x0 + 37) % 400;  // scrolling
  }
  st.SetItemsProcessed(st.iterations() * 1200 * 800);
}
BENCHMARK(BM_ViewportRepaintAt400)->Unit(benchmark::kMillisecond);

// A scroll step: only the newly exposed 40-pixel strip is repainted.
void BM_ScrollStripAt400(benchmark::State& st) {
  TKWBitmap& b = BigImage();
  QImage out(1200, 40, QImage::Format_RGB32);
  int y0 = 7000;
  for (auto _ : st) {
    RenderNearest(b, 24000, 16000, 9000, y0, out);
    benchmark::DoNotOptimize(out.bits());
    y0 = 7000 + (y0 + 40) % 4000;
  }
}
BENCHMARK(BM_ScrollStripAt400)->Unit(benchmark::kMicrosecond);

// For comparison: converting the whole image once (the cost a display copy
// of the full image would add to every change).
void BM_FullImageCopy(benchmark::State& st) {
  TKWBitmap& b = BigImage();
  for (auto _ : st) {
    QImage q = BitmapToQImage(b, false);
    benchmark::DoNotOptimize(q.bits());
  }
}
BENCHMARK(BM_FullImageCopy)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  return 0;
}
