// Reading and writing by extension, copying, and bad input.
#include <filesystem>
#include <fstream>
#include <iterator>

#include "image_test_util.h"
#include "imageio/kwpng.h"

using namespace imgtest;
namespace fs = std::filesystem;

namespace {

std::vector<uint8_t> FileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

int BmpBitCount(const std::string& path) {
  auto b = FileBytes(path);
  return b.size() > 29 ? b[28] | (b[29] << 8) : -1;
}

class FilesTest : public ImageTest {};

TEST_F(FilesTest, BmpBitDepthFollowsHasAlpha) {
  TKWBitmap img;
  FillRandom(img, 7, 5, 11, true);
  img.HasAlpha = true;
  img.SaveToFile(Path("with.bmp"));
  EXPECT_EQ(BmpBitCount(Path("with.bmp")), 32);
  img.HasAlpha = false;
  img.SaveToFile(Path("without.BMP"));
  EXPECT_EQ(BmpBitCount(Path("without.BMP")), 24);

  // Reading them back: the 32-bit file brings its alpha channel, the 24-bit
  // one leaves HasAlpha false and every A byte 0.
  TKWBitmap a, b;
  a.LoadFromFile(Path("with.bmp"));
  EXPECT_TRUE(a.HasAlpha);
  EXPECT_EQ(a.PixelFormat(), pf32bit);
  EXPECT_EQ(Pixels(a), Pixels(img));
  EXPECT_EQ(a.OperationName, "開く");
  b.LoadFromFile(Path("without.BMP"));
  EXPECT_FALSE(b.HasAlpha);
  EXPECT_EQ(b.PixelFormat(), pf32bit);
  auto expected = Pixels(img);
  for (auto& p : expected) p &= 0x00FFFFFFu;
  EXPECT_EQ(Pixels(b), expected);
}

TEST_F(FilesTest, PngPixelFormatFollowsHasAlpha) {
  TKWBitmap img;
  FillRandom(img, 9, 4, 12, true);
  img.HasAlpha = true;
  img.SaveToFile(Path("a.png"));
  img.HasAlpha = false;
  img.SaveToFile(Path("b.PNG"));
  // IHDR colour type (byte 25): 6 RGBA, 2 RGB.
  EXPECT_EQ(FileBytes(Path("a.png")).at(25), 6);
  EXPECT_EQ(FileBytes(Path("b.PNG")).at(25), 2);

  auto a = TKWBitmap::CreateFromFile(Path("a.png"));
  EXPECT_TRUE(a->HasAlpha);
  EXPECT_EQ(Pixels(*a), Pixels(img));
  EXPECT_EQ(a->OperationName, "開く");
  TKWBitmap b;
  b.HasAlpha = true;  // a file without alpha clears the flag
  b.LoadFromFile(Path("b.PNG"));
  EXPECT_FALSE(b.HasAlpha);
  auto expected = Pixels(img);
  for (auto& p : expected) p &= 0x00FFFFFFu;
  EXPECT_EQ(Pixels(b), expected);
}

TEST_F(FilesTest, JpegUsesQualityAndLeavesAlphaFlag) {
  TKWBitmap img;
  FillRandom(img, 64, 48, 13, true);
  JPEGQuality = 95;
  img.SaveToFile(Path("hi.jpg"));
  JPEGQuality = 10;
  img.SaveToFile(Path("lo.JPEG"));
  EXPECT_GT(fs::file_size(Path("hi.jpg")), fs::file_size(Path("lo.JPEG")));

  TKWBitmap fresh;
  fresh.LoadFromFile(Path("hi.jpg"));
  EXPECT_FALSE(fresh.HasAlpha);
  EXPECT_EQ(fresh.Width(), 64);
  EXPECT_EQ(fresh.Height(), 48);
  for (uint32_t p : Pixels(fresh)) ASSERT_EQ(p >> 24, 0u);
  TKWBitmap flagged;
  flagged.HasAlpha = true;  // JPEG reading leaves the flag as it was
  flagged.LoadFromFile(Path("lo.JPEG"));
  EXPECT_TRUE(flagged.HasAlpha);
}

TEST_F(FilesTest, OtherExtensionWritesNothingAndKeepsHistory) {
  auto* first = new TKWBitmap;
  FillRandom(*first, 4, 4, 1);
  auto* second = new TKWBitmap;
  second->CopyImage(*first);
  first->AppendSuccessor(second);
  ASSERT_EQ(second->UndoLimit, -1);
  second->SaveToFile(Path("x.gif"));
  EXPECT_FALSE(fs::exists(Path("x.gif")));
  EXPECT_EQ(second->Prev, first);  // nothing saved, nothing given up
  FreeChain(second);
}

TEST_F(FilesTest, SavingWithUnlimitedUndoClearsBothDirections) {
  auto* a = new TKWBitmap;
  FillRandom(*a, 4, 4, 2);
  auto* b = new TKWBitmap;
  b->CopyImage(*a);
  auto* c = new TKWBitmap;
  c->CopyImage(*a);
  a->AppendSuccessor(b);
  b->AppendSuccessor(c);
  // b is current after an undo: a is its undo step, c its redo step.
  b->SaveToFile(Path("b.bmp"));
  EXPECT_EQ(b->Prev, nullptr);
  EXPECT_EQ(b->Next, nullptr);
  delete b;

  // With a limit the history stays.
  auto* d = new TKWBitmap;
  FillRandom(*d, 4, 4, 3);
  d->UndoLimit = 5;
  auto* e = new TKWBitmap;
  e->CopyImage(*d);
  d->AppendSuccessor(e);
  e->SaveToFile(Path("e.bmp"));
  EXPECT_EQ(e->Prev, d);
  FreeChain(e);
}

TEST_F(FilesTest, BadFilesRaiseAndLeaveTheImageAsItWas) {
  TKWBitmap img;
  FillRandom(img, 5, 3, 21);
  img.HasAlpha = true;
  img.OperationName = "前の操作";
  const auto before = Pixels(img);

  std::ofstream(Path("junk.bmp")) << "BM this is not a bitmap at all, not even close";
  std::ofstream(Path("junk.png")) << "\x89PNG\r\n\x1a\n garbage";
  std::ofstream(Path("junk.jpg")) << "\xff\xd8\xff garbage";
  std::ofstream(Path("junk.xyz")) << "nothing anyone reads";
  // A real PNG cut short.
  TKWBitmap src;
  FillRandom(src, 40, 40, 5);
  src.SaveToFile(Path("whole.png"));
  auto bytes = FileBytes(Path("whole.png"));
  std::ofstream(Path("cut.png"), std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size() / 2));
  src.SaveToFile(Path("whole.bmp"));
  bytes = FileBytes(Path("whole.bmp"));
  std::ofstream(Path("cut.bmp"), std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size() - 100));

  for (const char* name : {"junk.bmp", "junk.png", "junk.jpg", "junk.xyz", "cut.png", "cut.bmp",
                           "missing.bmp", "missing.png", "missing.jpg"}) {
    SCOPED_TRACE(name);
    EXPECT_THROW(img.LoadFromFile(Path(name)), Exception);
    EXPECT_EQ(img.Width(), 5);
    EXPECT_EQ(img.Height(), 3);
    EXPECT_EQ(img.PixelFormat(), pf32bit);
    EXPECT_TRUE(img.HasAlpha);
    EXPECT_EQ(img.OperationName, "前の操作");
    EXPECT_EQ(Pixels(img), before);
  }
  EXPECT_THROW(TKWBitmap::CreateFromFile(Path("junk.png")), Exception);
}

TEST_F(FilesTest, WriteFailureRaises) {
  TKWBitmap img;
  FillRandom(img, 5, 3, 21);
  for (const char* name : {"no/such/dir/a.bmp", "no/such/dir/a.png", "no/such/dir/a.jpg"}) {
    SCOPED_TRACE(name);
    EXPECT_THROW(img.SaveToFile(Path(name)), Exception);
  }
}

TEST_F(FilesTest, LoadingIntoASwappedOutImageDropsItsSwapFile) {
  TKWBitmap src;
  FillRandom(src, 6, 6, 8, false);
  src.SaveToFile(Path("s.bmp"));
  TKWBitmap img;
  FillRandom(img, 3, 3, 9);
  img.SwapOut();
  const std::string file = img.TempFileName;
  img.LoadFromFile(Path("s.bmp"));
  EXPECT_FALSE(img.OnDisk);
  EXPECT_FALSE(fs::exists(file));
  EXPECT_EQ(img.Width(), 6);
}

TEST_F(FilesTest, AssignAndCopyImageTakeTheirFields) {
  TKWBitmap a, b, prev, next;
  FillRandom(a, 4, 3, 31);
  a.Prev = &prev;
  a.Next = &next;
  a.HasAlpha = true;
  a.FileName = "a.bmp";
  a.OperationName = "op";
  a.UndoLimit = 7;
  b.Assign(a);
  EXPECT_EQ(b.Prev, &prev);
  EXPECT_EQ(b.Next, &next);
  EXPECT_TRUE(b.HasAlpha);
  EXPECT_EQ(b.FileName, "a.bmp");
  EXPECT_EQ(b.UndoLimit, 7);
  EXPECT_EQ(b.OperationName, "");
  EXPECT_FALSE(b.OnDisk);
  EXPECT_EQ(Pixels(b), Pixels(a));

  TKWBitmap c;
  c.FileName = "c.bmp";
  c.OperationName = "c op";
  c.CopyImage(a);
  EXPECT_EQ(c.Prev, nullptr);
  EXPECT_EQ(c.Next, nullptr);
  EXPECT_TRUE(c.HasAlpha);
  EXPECT_EQ(c.UndoLimit, 7);
  EXPECT_EQ(c.FileName, "c.bmp");
  EXPECT_EQ(c.OperationName, "c op");
  EXPECT_EQ(Pixels(c), Pixels(a));

  // From a plain 24-bit bitmap the pixels become 32-bit with A 0 and the
  // flags stay.
  TBitmap plain;
  plain.SetPixelFormat(pf24bit);
  plain.SetSize(2, 2);
  plain.ScanLine(0)[0] = 9;
  c.CopyImage(plain);
  EXPECT_EQ(c.PixelFormat(), pf32bit);
  EXPECT_EQ(c.PixelBGRA(0, 0), Px(9, 0, 0, 0));
  EXPECT_TRUE(c.HasAlpha);
  a.Prev = a.Next = b.Prev = b.Next = nullptr;
}

}  // namespace
