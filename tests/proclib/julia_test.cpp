// Julia set: the generator through its worker against a plain computation
// for one and several threads, the worked examples and the choices for
// values outside the ranges, and the worker's safety when a computation is
// replaced, taken over, the program quits or the worker goes while busy.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTimer>
#include <chrono>

#include "julia_reference.h"
#include "procdef/kwparallel.h"
#include "proclib/kwjulia.h"
#include "proclib/kwjuliathread.h"
#include "testutil.h"

using namespace kwlib;
using namespace kwtest;

namespace {

struct LoadComplete {
  bool saved = IsLoadComplete;
  LoadComplete() { IsLoadComplete = true; }
  ~LoadComplete() { IsLoadComplete = saved; }
};

// A generator with its own worker, as the unit makes them.
struct Julia {
  TKWJuliaParam pack;
  TJuliaThread worker;
  std::unique_ptr<TKWJulia> gen = TKWProcessor::Create<TKWJulia>(&pack, &worker);

  std::unique_ptr<TBitmap> Run(int w, int h, uint32_t fill = 0x5A5A5A5Au) {
    auto b = Bmp(w, h);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) b->Row32(y)[x] = fill;
    gen->ExecGenerator(b.get());
    return b;
  }
};

int64_t Differences(const TBitmap& b, const std::vector<uint32_t>& want) {
  int64_t bad = 0;
  for (int y = 0; y < b.Height(); ++y)
    for (int x = 0; x < b.Width(); ++x) bad += b.Row32(y)[x] != want[size_t(y) * b.Width() + x];
  return bad;
}

// Waits (delivering queued calls) until done holds or about 20 s passed.
template <class F>
bool WaitFor(F done) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!done() && std::chrono::steady_clock::now() < end) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  return done();
}

}  // namespace

TEST(Julia, MatchesPlainComputationOnAnyThreadCount) {
  LoadComplete lc;
  Julia j;
  struct Case {
    int method, limit;
    double cr, ci, left, right, top, bottom;
    int vis[3];
    bool inv[3];
  } cases[] = {
      {0, 64, 0.5, 0, -2, 2, 2, -2, {0, 1, 2}, {false, false, false}},  // the defaults
      {1, 32, 1.2, 0.3, -4, 4, 2.5, -2.5, {1, 0, 2}, {true, false, false}},
      {2, 50, 1.0, 0.4, 3, -3, -3, 3, {2, 1, 0}, {false, true, true}},  // bounds in reverse order
      {0, 1, -0.7, 0.27, -1.5, 1.5, 1, -1, {0, 3, 4}, {false, false, true}},
      {1, 200, 0.8, -0.9, -800, 800, 800, -800, {0, 7, -1}, {false, false, false}},  // far out, odd choices
  };
  for (const Case& c : cases) {
    j.pack.Method = c.method;
    j.pack.Limit = c.limit;
    j.pack.C_Real = c.cr, j.pack.C_Image = c.ci;
    j.pack.Range_Left = c.left, j.pack.Range_Right = c.right;
    j.pack.Range_Top = c.top, j.pack.Range_Bottom = c.bottom;
    j.pack.Visualize_R = c.vis[0], j.pack.Visualize_G = c.vis[1], j.pack.Visualize_B = c.vis[2];
    j.pack.Invert_R = c.inv[0], j.pack.Invert_G = c.inv[1], j.pack.Invert_B = c.inv[2];
    const std::vector<uint32_t> want = kwref::Julia(j.pack, 61, 47);
    for (int threads : {1, 3}) {
      KWSetThreadCount(threads);
      EXPECT_EQ(Differences(*j.Run(61, 47), want), 0) << "method " << c.method << " threads " << threads;
    }
  }
  KWSetThreadCount(0);
}

TEST(Julia, WorkedExamplesAndValuesOutsideTheRanges) {
  LoadComplete lc;
  Julia j;
  // A point that never escapes has step count 0 (green) and escape byte 0
  // (blue), and only such points; with C = 0.5 every point escapes, with
  // C = 0.3 a region stays.
  for (double c : {0.3, 0.5}) {
    j.pack.C_Real = c;
    auto img = j.Run(64, 64);
    int inside = 0;
    for (int y = 0; y < 64; ++y)
      for (int x = 0; x < 64; ++x) {
        const uint32_t p = img->Row32(y)[x];
        const uint32_t steps = (p >> 8) & 0xFF, escape = p & 0xFF;
        ASSERT_TRUE(escape == 0 || escape == 255);
        EXPECT_EQ(escape == 0, steps == 0);
        inside += escape == 0;
        EXPECT_EQ(p >> 24, 0u);
      }
    EXPECT_EQ(inside > 0, c == 0.3) << c;
  }
  auto img = j.Run(64, 64);
  // Top row = larger imaginary bound, left column = smaller real bound,
  // whatever the order of the bounds.
  std::swap(j.pack.Range_Left, j.pack.Range_Right);
  std::swap(j.pack.Range_Top, j.pack.Range_Bottom);
  EXPECT_EQ(Differences(*j.Run(64, 64), kwref::Julia(TKWJuliaParam(), 64, 64)), 0);
  double s;
  int32_t n;
  TJuliaComputation c(j.pack, 64, 64);
  EXPECT_EQ(c.RealStart, -2.0);
  EXPECT_EQ(c.ImageTop, 2.0);
  c.Point(-2.0, 2.0, s, n);
  EXPECT_EQ(img->Row32(0)[0] & 0xFF00, uint32_t(Round(n * 255.0 / 64)) << 8);

  // Narrower than 4: nothing at all.
  auto narrow = j.Run(3, 9, 0x12345678u);
  for (int y = 0; y < 9; ++y)
    for (int x = 0; x < 3; ++x) ASSERT_EQ(narrow->Row32(y)[x], 0x12345678u);

  // A Limit below 1 counts as 1.
  j.pack = TKWJuliaParam();
  j.pack.Limit = 0;
  auto zero = j.Run(20, 20);
  j.pack.Limit = 1;
  EXPECT_EQ(Differences(*zero, kwref::Julia(j.pack, 20, 20)), 0);
  // C = 0: every smooth value is 0, so is the smooth byte (red); the worker
  // goes on working.
  j.pack = TKWJuliaParam();
  j.pack.C_Real = 0;
  auto flat = j.Run(20, 20);
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 20; ++x) ASSERT_EQ(flat->Row32(y)[x] >> 16, 0u);
  j.pack.C_Real = 0.5;
  EXPECT_EQ(Differences(*j.Run(20, 20), kwref::Julia(j.pack, 20, 20)), 0);
  // A Method outside 0 .. 2 computes no point: every byte 0 before inversion.
  j.pack.Method = 5;
  j.pack.Invert_R = true;
  auto none = j.Run(20, 20);
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 20; ++x) ASSERT_EQ(none->Row32(y)[x], 0xFF0000u);
}

TEST(Julia, ParametersInOrder) {
  TKWJuliaParam p;
  auto g = TKWProcessor::Create<TKWJulia>(&p, nullptr);
  const char* names[14] = {"Method", "Visualize_R", "Visualize_G", "Visualize_B", "Limit",
                           "C_Real", "C_Image", "Range_Left", "Range_Right", "Range_Top",
                           "Range_Bottom", "Invert_R", "Invert_G", "Invert_B"};
  ASSERT_EQ(g->Params.Count(), 14);
  for (int i = 0; i < 14; ++i) EXPECT_EQ(g->Params.Strings(i), names[i]);
  EXPECT_EQ(g->Param(4)->ParamType, TKWParamType::ptInteger);
  EXPECT_EQ(g->Param(5)->ParamType, TKWParamType::ptDouble);
  EXPECT_EQ(g->Param(13)->ParamType, TKWParamType::ptBoolean);
  EXPECT_FALSE(g->CanPreview());
  EXPECT_EQ(p.Visualize_B, 2);
  EXPECT_EQ(p.Range_Bottom, -2.0);
}

TEST(JuliaWorker, ReplacedAbandonedAndClosingComputationsLeaveTheirBitmapsAlone) {
  LoadComplete lc;
  const uint32_t fill = 0x01020304u;
  auto filled = [&](int w, int h) {
    auto b = Bmp(w, h);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) b->Row32(y)[x] = fill;
    return b;
  };
  auto untouched = [&](const TBitmap& b) {
    for (int y = 0; y < b.Height(); ++y)
      for (int x = 0; x < b.Width(); ++x)
        if (b.Row32(y)[x] != fill) return false;
    return true;
  };
  TKWJuliaParam slow;  // many points never escape: seconds of work
  slow.Method = 1;
  slow.C_Real = 1, slow.C_Image = 0;  // z -> cos z: the real axis stays bounded
  slow.Range_Left = -1, slow.Range_Right = 1, slow.Range_Top = 1, slow.Range_Bottom = -1;
  slow.Limit = 100000;
  TKWJuliaParam quick;

  auto worker = std::make_unique<TJuliaThread>();
  int finished = 0, abandoned = 0;
  worker->OnFinished = [&](TJuliaThread*) { ++finished; };
  worker->OnAbandoned = [&](TJuliaThread*) { ++abandoned; };

  // A preview replaced by a newer preview: only the newer one is coloured
  // and announced; the first bitmap is freed while the worker ran on it.
  auto first = filled(300, 300);
  worker->Calculate(first.get(), slow, false);
  auto second = filled(16, 16);
  worker->Calculate(second.get(), quick, false);
  EXPECT_TRUE(untouched(*first));
  first.reset();
  ASSERT_TRUE(WaitFor([&] { return finished == 1; }));
  EXPECT_FALSE(untouched(*second));
  EXPECT_EQ(abandoned, 0);

  // A preview taken over by a generation is announced as abandoned.
  auto preview = filled(300, 300);
  worker->Calculate(preview.get(), slow, false);
  auto generated = filled(16, 16);
  EXPECT_TRUE(worker->Generate(generated.get(), quick));
  EXPECT_FALSE(untouched(*generated));
  EXPECT_FALSE(worker->Running());
  ASSERT_TRUE(WaitFor([&] { return abandoned == 1; }));
  EXPECT_EQ(finished, 1);
  EXPECT_TRUE(untouched(*preview));

  // The program quits while a generation runs: the generation gives up and
  // leaves its bitmap alone.
  auto big = filled(300, 300);
  QTimer::singleShot(100, [] { QCoreApplication::exit(0); });
  EXPECT_FALSE(worker->Generate(big.get(), slow));
  EXPECT_FALSE(worker->Running());
  big.reset();
  // (The application's loop state is reset for the tests that follow.)
  QTimer::singleShot(0, [] { QCoreApplication::exit(0); });
  QCoreApplication::exec();

  // The worker goes while it computes.
  auto last = filled(300, 300);
  worker->Calculate(last.get(), slow, false);
  worker.reset();
  EXPECT_TRUE(untouched(*last));
}
