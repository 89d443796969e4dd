// History chain, trimming, disk swapping and the processing steps' linking.
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>

#include <filesystem>
#include <fstream>

#include "image_test_util.h"
#include "platform/ownedfiles.h"
#include "platform/sysutils.h"
#include "procdef/kwmessages.h"

using namespace imgtest;
namespace fs = std::filesystem;

namespace {

int destroyed = 0;
class CountedBitmap : public TKWBitmap {
 public:
  ~CountedBitmap() override { ++destroyed; }
};

class HistoryTest : public ImageTest {
 protected:
  void SetUp() override {
    ImageTest::SetUp();
    destroyed = 0;
  }
  // A loaded 8 x 6 image with known pixels.
  TKWBitmap* Loaded(int32_t undoLimit) {
    TBitmap src;
    FillRandom(src, 8, 6, 7, false);
    src.SaveToFile(Path("start.bmp"));
    auto* b = new CountedBitmap;
    b->LoadFromFile(Path("start.bmp"));
    b->UndoLimit = undoLimit;
    return b;
  }
  // n inversions; returns the new current image.
  TKWBitmap* Steps(TKWBitmap* cur, int n) {
    auto f = TKWProcessor::Create<InvertFilter>();
    f->Caption = "反転";
    for (int i = 0; i < n; ++i) {
      auto* next = new CountedBitmap;
      cur->ApplyFilter(next, f.get());
      cur = next;
    }
    return cur;
  }
};

TEST_F(HistoryTest, StartValuesOfSettingsFieldsAndHelpers) {
  // The fixture sets the same values; the globals' own initial values are
  // checked in a fresh process by ctest (one process per test).
  TKWBitmap b;
  EXPECT_EQ(b.PixelFormat(), pf32bit);
  EXPECT_EQ(b.Prev, nullptr);
  EXPECT_EQ(b.Next, nullptr);
  EXPECT_FALSE(b.HasAlpha);
  EXPECT_TRUE(b.FileName.empty());
  EXPECT_TRUE(b.OperationName.empty());
  EXPECT_EQ(b.UndoLimit, -1);
  EXPECT_FALSE(b.OnDisk);
  EXPECT_TRUE(b.TempFileName.empty());

  TKWGenericParamPack empty, line("Undo CurrentImage");
  EXPECT_EQ(empty.LogText, "");
  EXPECT_EQ(line.LogText, "Undo CurrentImage");
  EXPECT_EQ(line.Processor, nullptr);
  EXPECT_STREQ(ENoMixArea().what(), "合成する領域がありません。");
  TMixOrigin o;
  EXPECT_EQ(o.X, 0);
  EXPECT_EQ(o.Y, 0);
  EXPECT_FALSE(o.Clipping);

  // By default: the process's private folder, in the first usable place.
  SetUndoDataDir("");
  const std::string folder = UndoDataDir();
  const std::string place = KWSwapFolderPlaces().front();
  EXPECT_EQ(folder.rfind(place + "/kw-undo-" + std::to_string(::getpid()) + "-", 0), 0u) << folder;
  EXPECT_EQ(fs::status(folder).permissions() & fs::perms::all, fs::perms::owner_all);
  KWRemoveSwapFolder();
  EXPECT_FALSE(fs::exists(folder));
}

TEST(KWBitmapGlobals, ValuesAtStartUp) {
  // Runs in its own process under ctest, before anything changes them.
  EXPECT_EQ(JPEGQuality, 75);
  EXPECT_EQ(ResizeMode, 1);
  EXPECT_EQ(DiskUndo, 3);
  EXPECT_TRUE(NormalAlphaBlending);
  EXPECT_EQ(UndoFileCounter, 0);
}

TEST_F(HistoryTest, TwelveStepsWithUndoLimit10AndDiskUndo3) {
  TKWBitmap* cur = Loaded(10);
  const std::vector<uint32_t> original = Pixels(*cur);
  cur = Steps(cur, 12);

  std::vector<TKWBitmap*> chain = Chain(cur);
  ASSERT_EQ(chain.size(), 11u);  // current + 10 predecessors
  EXPECT_EQ(chain.back(), cur);
  EXPECT_EQ(destroyed, 2);  // the loaded image and the first result
  // Newest three in memory, the eight before them on disk as files 2..9.
  for (int i = 0; i < 3; ++i) {
    TKWBitmap* b = chain[chain.size() - 1 - size_t(i)];
    EXPECT_FALSE(b->OnDisk) << i;
    EXPECT_EQ(b->Width(), 8);
  }
  for (int k = 0; k < 8; ++k) {
    TKWBitmap* b = chain[size_t(k)];  // results 2..9
    EXPECT_TRUE(b->OnDisk) << k;
    EXPECT_EQ(b->TempFileName, SwapPath(k + 2));
    EXPECT_TRUE(fs::exists(SwapPath(k + 2)));
    EXPECT_EQ(b->Width(), 1);
    EXPECT_EQ(b->Height(), 1);
  }
  EXPECT_FALSE(fs::exists(SwapPath(0)));
  EXPECT_FALSE(fs::exists(SwapPath(1)));
  EXPECT_FALSE(fs::exists(SwapPath(10)));
  EXPECT_EQ(UndoFileCounter, 10);
  EXPECT_EQ(chain.front()->Prev, nullptr);
  for (size_t i = 0; i + 1 < chain.size(); ++i) EXPECT_EQ(chain[i + 1]->Prev, chain[i]);
  EXPECT_EQ(cur->OperationName, "反転");

  // Reading back result 2 (an even number of inversions: the original pixels).
  TKWBitmap* oldest = chain.front();
  oldest->SwapIn();
  EXPECT_FALSE(oldest->OnDisk);
  EXPECT_TRUE(oldest->TempFileName.empty());
  EXPECT_FALSE(fs::exists(SwapPath(2)));
  EXPECT_EQ(Pixels(*oldest), original);
  // Result 3 is the inverse.
  chain[1]->SwapIn();
  std::vector<uint32_t> inv = original;
  for (auto& p : inv) p ^= 0x00FFFFFFu;
  EXPECT_EQ(Pixels(*chain[1]), inv);

  FreeChain(cur);
  EXPECT_EQ(destroyed, 13);
  // Every remaining swap file went with its image.
  EXPECT_TRUE(fs::is_empty(dir / "UndoData"));
}

TEST_F(HistoryTest, UndoLimitZeroFreesThePredecessor) {
  TKWBitmap* cur = Loaded(0);
  cur = Steps(cur, 1);
  EXPECT_EQ(cur->Prev, nullptr);
  EXPECT_EQ(destroyed, 1);
  EXPECT_EQ(cur->UndoLimit, 0);
  cur = Steps(cur, 3);
  EXPECT_EQ(cur->Prev, nullptr);
  EXPECT_EQ(destroyed, 4);
  FreeChain(cur);
}

TEST_F(HistoryTest, DiskUndoZeroNeverSwaps) {
  DiskUndo = 0;
  TKWBitmap* cur = Steps(Loaded(-1), 9);
  auto chain = Chain(cur);
  EXPECT_EQ(chain.size(), 10u);
  for (auto* b : chain) EXPECT_FALSE(b->OnDisk);
  EXPECT_EQ(UndoFileCounter, 0);
  FreeChain(cur);
}

TEST_F(HistoryTest, UnlimitedHistorySwapsFromPositionDiskUndo) {
  DiskUndo = 2;
  TKWBitmap* cur = Steps(Loaded(-1), 5);
  auto chain = Chain(cur);
  ASSERT_EQ(chain.size(), 6u);
  for (size_t i = 0; i < chain.size(); ++i) EXPECT_EQ(chain[i]->OnDisk, i <= 3) << i;
  EXPECT_EQ(destroyed, 0);
  FreeChain(cur);
}

TEST_F(HistoryTest, NewStepAfterUndoFreesTheRedoSide) {
  TKWBitmap* cur = Steps(Loaded(-1), 4);
  // Two undos (what the view does).
  TKWBitmap* undone = cur->Prev->Prev;
  undone->SwapIn();
  const int before = destroyed;
  TKWBitmap* next = Steps(undone, 1);
  EXPECT_EQ(destroyed, before + 2);
  EXPECT_EQ(undone->Next, next);
  EXPECT_EQ(next->Next, nullptr);
  EXPECT_EQ(Chain(next).size(), 4u);
  FreeChain(next);
}

TEST_F(HistoryTest, AppendSuccessorPassesAlphaFlagAndLimit) {
  auto* a = new TKWBitmap;
  a->HasAlpha = true;
  a->UndoLimit = 5;
  auto* b = new TKWBitmap;
  b->UndoLimit = -1;
  a->AppendSuccessor(b);
  EXPECT_TRUE(b->HasAlpha);
  EXPECT_EQ(b->UndoLimit, 5);
  EXPECT_EQ(a->Next, b);
  EXPECT_EQ(b->Prev, a);
  FreeChain(b);
}

TEST_F(HistoryTest, ClearRedoAndClearHistory) {
  TKWBitmap* last = Steps(Loaded(-1), 6);
  auto chain = Chain(last);
  TKWBitmap* mid = chain[3];
  mid->ClearRedo();
  EXPECT_EQ(mid->Next, nullptr);
  EXPECT_EQ(destroyed, 3);
  mid->ClearHistory();
  EXPECT_EQ(mid->Prev, nullptr);
  EXPECT_EQ(destroyed, 6);
  ASSERT_TRUE(mid->OnDisk);  // it was three steps back itself
  mid->SwapIn();
  EXPECT_TRUE(fs::is_empty(dir / "UndoData"));
  delete mid;
}

TEST_F(HistoryTest, SetUndoLimitPropagatesAndTrims) {
  DiskUndo = 0;
  TKWBitmap* last = Steps(Loaded(-1), 6);
  auto chain = Chain(last);  // 7 images
  TKWBitmap* mid = chain[4];  // two redo steps after it
  mid->SetUndoLimit(2);
  for (TKWBitmap* b = mid->Next; b; b = b->Next) EXPECT_EQ(b->UndoLimit, 2);
  EXPECT_EQ(mid->Prev->UndoLimit, 2);
  EXPECT_EQ(mid->Prev->Prev->Prev, nullptr);
  EXPECT_EQ(destroyed, 2);
  EXPECT_EQ(Chain(mid).size(), 5u);
  FreeChain(last);
}

TEST_F(HistoryTest, FailingProcessorLinksNothing) {
  TKWBitmap* cur = Loaded(-1);
  auto f = TKWProcessor::Create<ThrowingFilter>();
  TKWBitmap dest;
  EXPECT_THROW(cur->ApplyFilter(&dest, f.get()), Exception);
  EXPECT_EQ(cur->Next, nullptr);
  EXPECT_EQ(dest.Prev, nullptr);
  auto g = TKWProcessor::Create<PatternGenerator>();
  g->fail = true;
  EXPECT_THROW(cur->ApplyGenerator(&dest, g.get(), 0, 0), Exception);
  EXPECT_EQ(cur->Next, nullptr);
  FreeChain(cur);
}

TEST_F(HistoryTest, GeneratorSizeZeroMeansCurrentSize) {
  TKWBitmap* cur = Loaded(-1);
  auto g = TKWProcessor::Create<PatternGenerator>();
  g->Caption = "模様";
  auto* d1 = new TKWBitmap;
  cur->ApplyGenerator(d1, g.get(), 0, 0);
  EXPECT_EQ(d1->Width(), 8);
  EXPECT_EQ(d1->Height(), 6);
  EXPECT_EQ(d1->OperationName, "模様");
  EXPECT_EQ(d1->PixelBGRA(5, 3), Px(5, 3, 77));
  auto* d2 = new TKWBitmap;
  d1->ApplyGenerator(d2, g.get(), 30, 0);
  EXPECT_EQ(d2->Width(), 30);
  EXPECT_EQ(d2->Height(), 6);
  EXPECT_EQ(d1->Next, d2);
  FreeChain(d2);
}

TEST_F(HistoryTest, DestructorDeletesSwapFile) {
  auto* b = new TKWBitmap;
  FillRandom(*b, 5, 5, 1);
  b->SwapOut();
  ASSERT_TRUE(b->OnDisk);
  const std::string file = b->TempFileName;
  EXPECT_TRUE(fs::exists(file));
  b->SwapOut();  // already out: nothing more
  EXPECT_EQ(UndoFileCounter, 1);
  delete b;
  EXPECT_FALSE(fs::exists(file));
}

TEST_F(HistoryTest, SwapKeepsAlphaBytes) {
  TKWBitmap b;
  FillRandom(b, 13, 7, 99, true);
  const auto before = Pixels(b);
  b.SwapOut();
  b.SwapIn();
  EXPECT_EQ(b.PixelFormat(), pf32bit);
  EXPECT_EQ(Pixels(b), before);
}

// ---- failures of the swap files ----

TEST_F(HistoryTest, SwapFolderThatCannotBeMadeKeepsPixelsInMemory) {
  std::ofstream(Path("plainfile")) << "x";
  SetUndoDataDir(Path("plainfile") + "/UndoData");
  TKWBitmap b;
  FillRandom(b, 6, 4, 3);
  const auto before = Pixels(b);
  EXPECT_THROW(b.SwapOut(), ESwapError);
  EXPECT_FALSE(b.OnDisk);
  EXPECT_TRUE(b.TempFileName.empty());
  EXPECT_EQ(Pixels(b), before);
}

TEST_F(HistoryTest, SwapNeverOpensAnExistingFileAndAFailedWriteLeavesNone) {
  fs::create_directories(dir / "UndoData");
  fs::create_symlink("/dev/full", SwapPath(0));  // a name already taken
  TKWBitmap b;
  FillRandom(b, 300, 200, 4);
  const auto before = Pixels(b);
  // A write beyond the file size limit fails as on a full disk.
  std::signal(SIGXFSZ, SIG_IGN);
  rlimit old{};
  ::getrlimit(RLIMIT_FSIZE, &old);
  rlimit small = old;
  small.rlim_cur = 10000;
  ::setrlimit(RLIMIT_FSIZE, &small);
  EXPECT_THROW(b.SwapOut(), ESwapError);
  ::setrlimit(RLIMIT_FSIZE, &old);
  EXPECT_FALSE(b.OnDisk);
  EXPECT_EQ(Pixels(b), before);
  EXPECT_TRUE(fs::is_symlink(SwapPath(0)));         // neither followed nor removed
  EXPECT_FALSE(fs::exists(fs::symlink_status(SwapPath(1))));  // the partial file is gone
  b.SwapOut();
  EXPECT_TRUE(b.OnDisk);
  EXPECT_EQ(b.TempFileName, SwapPath(2));
}

// Swap-outs of a trim run in the background.  An undo takes its image back
// whatever the writer is doing; a write that fails leaves the image in
// memory with the usual warning; freeing an image whose write is pending
// leaves no file.
TEST_F(HistoryTest, BackgroundSwapOutsFailStopAndFinishSafely) {
  std::vector<std::string> warnings;
  TMessageHandler old = SetMessageHandler([&](TMsgKind k, const std::string&, const std::string& text, bool) {
    if (k == TMsgKind::Warning) warnings.push_back(text);
    return TMsgResult::Ok;
  });
  TKWBitmap* first = Loaded(10);
  const auto original = Pixels(*first);
  TKWBitmap* cur = Steps(first, 3);  // first is 3 steps back: its write is queued
  EXPECT_TRUE(first->OnDisk);
  EXPECT_EQ(first->Width(), 1);
  first->SwapIn();  // taken back at once, or read from the finished file
  EXPECT_FALSE(first->OnDisk);
  EXPECT_EQ(Pixels(*first), original);
  TKWBitmap::WaitForSwapWriter();
  EXPECT_EQ(fs::directory_iterator(dir / "UndoData"), fs::directory_iterator());

  // Writes beyond the file size limit fail as on a full disk.
  std::signal(SIGXFSZ, SIG_IGN);
  rlimit limit{};
  ::getrlimit(RLIMIT_FSIZE, &limit);
  const rlimit saved = limit;
  limit.rlim_cur = 100;
  ::setrlimit(RLIMIT_FSIZE, &limit);
  TKWBitmap* second = first->Next;
  cur = Steps(cur, 1);  // second goes out and fails in the background
  TKWBitmap::WaitForSwapWriter();
  ::setrlimit(RLIMIT_FSIZE, &saved);
  EXPECT_TRUE(second->OnDisk);  // not looked at yet
  TKWBitmap::CollectSwapResults();
  EXPECT_FALSE(second->OnDisk);
  EXPECT_TRUE(second->TempFileName.empty());
  EXPECT_EQ(Pixels(*second), Pixels(*second->Next->Next));  // two inversions apart
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_NE(warnings[0].find("書き出せません"), std::string::npos) << warnings[0];

  // Many steps, then the whole chain freed at once while writes are pending.
  cur = Steps(cur, 8);
  cur->ClearHistory();
  delete cur;
  TKWBitmap::WaitForSwapWriter();
  EXPECT_EQ(fs::directory_iterator(dir / "UndoData"), fs::directory_iterator());
  SetMessageHandler(old);
}

TEST_F(HistoryTest, UnreadableSwapFileStaysOnDisk) {
  TKWBitmap b;
  FillRandom(b, 9, 9, 5);
  const auto before = Pixels(b);
  b.SwapOut();
  const std::string file = b.TempFileName;
  fs::copy_file(file, Path("backup.tmp"));
  fs::resize_file(file, 60);  // damaged
  EXPECT_THROW(b.SwapIn(), ESwapError);
  EXPECT_TRUE(b.OnDisk);
  EXPECT_EQ(b.TempFileName, file);
  EXPECT_TRUE(fs::exists(file));
  fs::remove(file);  // gone
  EXPECT_THROW(b.SwapIn(), ESwapError);
  EXPECT_TRUE(b.OnDisk);
  EXPECT_EQ(b.Width(), 1);
  // Once the file is back, the image comes back whole.
  fs::copy_file(Path("backup.tmp"), file);
  b.SwapIn();
  EXPECT_FALSE(b.OnDisk);
  EXPECT_EQ(Pixels(b), before);
}

TEST_F(HistoryTest, StepWithFailingSwapKeepsTheImageInMemory) {
  TKWBitmap* cur = Steps(Loaded(-1), 2);
  std::ofstream(Path("plainfile")) << "x";
  SetUndoDataDir(Path("plainfile"));
  auto f = TKWProcessor::Create<InvertFilter>();
  auto* next = new TKWBitmap;
  EXPECT_NO_THROW(cur->ApplyFilter(next, f.get()));
  // The step is linked; the image that should have gone to disk is intact.
  EXPECT_EQ(cur->Next, next);
  EXPECT_EQ(next->Prev, cur);
  auto chain = Chain(next);
  ASSERT_EQ(chain.size(), 4u);
  EXPECT_FALSE(chain[0]->OnDisk);
  EXPECT_EQ(chain[0]->Width(), 8);
  FreeChain(next);
}

}  // namespace
