// Image plug-in host against the test plug-ins: loading and classifying,
// the search, candidate order, the 2048-byte header, the 128-byte prefix,
// taking over pictures of every depth, progress, and plug-ins that reject,
// fail or lie.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <filesystem>
#include <sstream>
#include <typeinfo>

#include "imageio/spi.h"
#include "imageio_testutil.h"
#include "platform/sysutils.h"

using namespace kwtest;

namespace {

struct LogEntry {
  std::string plugin, function;
  intptr_t len;
  std::vector<uint8_t> header;
};
std::vector<LogEntry> g_log;

}  // namespace

// The test plug-ins report every call here.
extern "C" __attribute__((visibility("default"))) void kw_test_spi_log(const char* plugin, const char* function,
                                                                      intptr_t len, const void* header) {
  LogEntry e{plugin, function, len, {}};
  if (header) {
    const auto* h = static_cast<const uint8_t*>(header);
    e.header.assign(h, h + 2048);
  }
  g_log.push_back(std::move(e));
}

namespace {

const std::string kSpiDir = KW_TEST_SPI_DIR;

std::vector<std::string> Calls(const std::string& function) {
  std::vector<std::string> out;
  for (auto& e : g_log)
    if (e.function == function) out.push_back(e.plugin);
  return out;
}

// A picture in the test plug-ins' format.
std::vector<uint8_t> TestPicture(const char* magic, uint32_t flags, const std::vector<uint8_t>& info,
                                 const std::vector<uint8_t>& bits) {
  std::vector<uint8_t> d(12);
  std::memcpy(d.data(), magic, 4);
  Put32LE(d, 4, flags);
  Put32LE(d, 8, uint32_t(info.size()));
  d.insert(d.end(), info.begin(), info.end());
  std::vector<uint8_t> len(4);
  Put32LE(len, 0, uint32_t(bits.size()));
  d.insert(d.end(), len.begin(), len.end());
  d.insert(d.end(), bits.begin(), bits.end());
  return d;
}

// A device-independent picture: header, colour table and rows; Expected()
// tells the colour of each pixel.
struct DIB {
  int32_t width = 0, height = 0;  // height < 0: rows top-down
  int bpp = 24;
  std::vector<SPIRGBQuad> table;
  uint32_t clrUsed = 0;
  std::vector<uint8_t> info, bits;
  size_t stride = 0;

  int Rows() const { return height < 0 ? -height : height; }
  // Start of the stored row that is row y from the top.
  size_t RowAt(int y) const { return (height < 0 ? size_t(y) : size_t(Rows() - 1 - y)) * stride; }

  unsigned Index(int x, int y) const {
    const uint8_t* row = bits.data() + RowAt(y);
    switch (bpp) {
      case 1: return (row[x / 8] >> (7 - x % 8)) & 1;
      case 4: return (row[x / 2] >> (x % 2 ? 0 : 4)) & 15;
      default: return row[x];
    }
  }
  uint32_t Expected(int x, int y) const {
    const uint8_t* row = bits.data() + RowAt(y);
    if (bpp <= 8) {
      const SPIRGBQuad& q = table.at(Index(x, y));
      return q.rgbBlue | (q.rgbGreen << 8) | (uint32_t(q.rgbRed) << 16);
    }
    if (bpp == 24) return row[x * 3] | (row[x * 3 + 1] << 8) | (uint32_t(row[x * 3 + 2]) << 16);
    uint32_t v;
    std::memcpy(&v, row + x * 4, 4);
    return v;
  }
};

DIB MakeDIB(int32_t w, int32_t h, int bpp, uint32_t tableSize, uint32_t clrUsed, uint32_t seed) {
  DIB d;
  d.width = w, d.height = h, d.bpp = bpp, d.clrUsed = clrUsed;
  Rng r(seed);
  for (uint32_t i = 0; i < tableSize; ++i) d.table.push_back(SPIRGBQuad{r.Byte(), r.Byte(), r.Byte(), 0});
  SPIBitmapInfoHeader hdr{};
  hdr.biSize = 40, hdr.biWidth = w, hdr.biHeight = h, hdr.biPlanes = 1, hdr.biBitCount = uint16_t(bpp);
  hdr.biClrUsed = clrUsed;
  d.info.resize(40 + tableSize * 4);
  std::memcpy(d.info.data(), &hdr, 40);
  if (tableSize) std::memcpy(d.info.data() + 40, d.table.data(), tableSize * 4);
  d.stride = size_t((int64_t(w) * bpp + 31) / 32 * 4);
  d.bits.assign(d.stride * size_t(d.Rows()), 0);
  const unsigned colours = tableSize ? tableSize : 256;
  for (int y = 0; y < d.Rows(); ++y) {
    uint8_t* row = d.bits.data() + d.RowAt(y);
    for (int x = 0; x < w; ++x) {
      unsigned idx = (r.Next() >> 8) % colours;
      if (bpp == 1) row[x / 8] |= uint8_t((idx & 1) << (7 - x % 8));
      else if (bpp == 4) row[x / 2] |= uint8_t((idx & 15) << (x % 2 ? 0 : 4));
      else if (bpp == 8) row[x] = uint8_t(idx);
      else for (int c = 0; c < bpp / 8; ++c) row[x * (bpp / 8) + c] = r.Byte();
    }
  }
  return d;
}

void ExpectPicture(const TBitmap& b, const DIB& d) {
  ASSERT_EQ(b.Width(), d.width);
  ASSERT_EQ(b.Height(), d.Rows());
  int bad = 0;
  for (int y = 0; y < d.Rows(); ++y)
    for (int x = 0; x < d.width; ++x) {
      uint32_t got = b.PixelBGRA(x, y), want = d.Expected(x, y);
      if (d.bpp != 32) got &= 0x00FFFFFF;
      if (got != want && ++bad < 4) ADD_FAILURE() << x << "," << y << std::hex << " got " << got << " want " << want;
    }
  EXPECT_EQ(bad, 0);
}

class SpiHost : public ::testing::Test {
 protected:
  void SetUp() override {
    g_log.clear();
    spis_ = std::make_unique<TSPIs>(spsAppDir, false);
    spis_->Search(kSpiDir + "t*.spi");
    g_log.clear();
  }
  TInSPI* Find(const std::string& name) {
    for (int i = 0; i < spis_->Count(); ++i)
      if (ExtractFileName(spis_->Items(i)->FileName) == name) return dynamic_cast<TInSPI*>(spis_->Items(i));
    return nullptr;
  }
  // Writes data to a file of the given name and reads it.
  void Load(TSPIBitmap& b, const std::string& name, const std::vector<uint8_t>& data) {
    WriteFile(dir_ / name, data);
    g_log.clear();
    b.LoadFromFile(dir_ / name);
  }
  std::unique_ptr<TSPIs> spis_;
  TempDir dir_;
};

}  // namespace

TEST(SpiLoading, EachVersionGetsItsClass) {
  TSPIs spis(0, false);
  auto pic = spis.LoadPlugin(kSpiDir + "tpic.spi");
  ASSERT_TRUE(pic);
  EXPECT_TRUE(dynamic_cast<TInSPI*>(pic.get()));
  EXPECT_TRUE(pic->CanLoadImages);
  EXPECT_EQ(pic->APIVersion, "00IN");
  EXPECT_EQ(pic->Description, "test plug-in pic");
  EXPECT_EQ(pic->Extensions, std::vector<std::string>{"*.pic"});
  EXPECT_EQ(pic->FormatNames, std::vector<std::string>{"pic pictures"});
  EXPECT_EQ(pic->FileName, std::filesystem::canonical(kSpiDir + "tpic.spi").string());
  EXPECT_TRUE(pic->GetPicture && pic->GetPictureInfo && pic->IsSupported && pic->GetPluginInfo);
  EXPECT_FALSE(pic->GetArchiveInfo);

  auto mag = spis.LoadPlugin(kSpiDir + "tmag.spi");
  ASSERT_TRUE(mag);
  EXPECT_EQ(mag->Extensions, (std::vector<std::string>{"*.mag;*.mg2", "*.mgx"}));
  EXPECT_EQ(mag->FormatNames, (std::vector<std::string>{"mag pictures", "mag second"}));
  EXPECT_TRUE(mag->HandlesExtension(".MG2"));
  EXPECT_TRUE(mag->HandlesExtension("mgx"));
  EXPECT_FALSE(mag->HandlesExtension("pic"));

  auto arc = spis.LoadPlugin(kSpiDir + "tarc.spi");
  ASSERT_TRUE(arc);
  EXPECT_TRUE(dynamic_cast<TAmSPI*>(arc.get()));
  EXPECT_TRUE(arc->CanLoadImages);
  auto xn = spis.LoadPlugin(kSpiDir + "txn.spi");
  ASSERT_TRUE(xn);
  EXPECT_TRUE(dynamic_cast<TXnSPI*>(xn.get()));
  EXPECT_FALSE(xn->CanLoadImages);
  auto unk = spis.LoadPlugin(kSpiDir + "tunk.spi");
  ASSERT_TRUE(unk);
  EXPECT_EQ(typeid(*unk), typeid(TSPI));
  EXPECT_FALSE(unk->CanLoadImages);
  EXPECT_TRUE(spis.Errors().empty());
}

TEST(SpiLoading, BrokenLibrariesAndMissingFunctions) {
  TempDir dir;
  TSPIs spis(0, false);
  WriteFile(dir / "junk.spi", {'n', 'o', 't', ' ', 'a', ' ', 'l', 'i', 'b'});
  EXPECT_FALSE(spis.LoadPlugin(dir / "junk.spi"));
  ASSERT_EQ(spis.Errors().size(), 1u);
  EXPECT_EQ(spis.Errors()[0], dir / "junk.spi" + ":Susie Pluginがロードできませんでした");

  EXPECT_FALSE(spis.LoadPlugin(kSpiDir + "tlong.spi"));  // claims more text than it may write
  EXPECT_EQ(spis.Errors().size(), 2u);

  const std::string nopic = std::filesystem::canonical(kSpiDir + "tnopic.spi").string();
  try {
    spis.LoadPlugin(kSpiDir + "tnopic.spi");
    FAIL() << "loaded without GetPicture";
  } catch (const ESPIInvalidAPI& e) {
    EXPECT_EQ(e.Message(), "GetPictureは[" + nopic + "]では使えないSusie Plugin APIです");
  }
  try {
    TSPI direct(dir / "missing.spi");
    FAIL();
  } catch (const ESPIFOpenErrorSPI& e) {
    EXPECT_EQ(e.Message(), dir / "missing.spi" + ":Susie Pluginがロードできませんでした");
  }
}

TEST(SpiLoading, OnlyOneTSPIsAtATime) {
  TSPIs first(0, false);
  EXPECT_EQ(TSPIs::Instance(), &first);
  try {
    TSPIs second(0, false);
    FAIL();
  } catch (const ESPIDupCreateSPIs& e) {
    EXPECT_EQ(e.Message(), "TSPIs は複数生成できません");
  }
  EXPECT_EQ(TSPIs::Instance(), &first);
}

TEST(SpiSearch, LoadsEachUsableLibraryOnceAndKeepsTheErrors) {
  TempDir dir;
  for (auto& e : std::filesystem::directory_iterator(kSpiDir))
    std::filesystem::copy_file(e.path(), dir / e.path().filename().string());
  WriteFile(dir / "junk.spi", {1, 2, 3});
  WriteFile(dir / "readme.txt", {1, 2, 3});
  std::filesystem::create_directory(dir / "folder.spi");

  TSPIs spis(0, false);
  spis.Search(dir / "*.spi");
  // pic, mag, bmp, arc, xn, unk; not junk, long, nopic.
  EXPECT_EQ(spis.Count(), 6);
  EXPECT_EQ(spis.Errors().size(), 3u);
  bool nopicReported = false;
  for (auto& m : spis.Errors()) nopicReported |= m.find("GetPictureは[") == 0;
  EXPECT_TRUE(nopicReported);
  spis.Search(dir / "*.spi");
  EXPECT_EQ(spis.Count(), 6) << "a second search loads nothing twice";

  std::vector<std::string> exts;
  for (auto& f : spis.Formats()) exts.push_back(f.Extension + "=" + f.FormatName);
  std::sort(exts.begin(), exts.end());
  EXPECT_EQ(exts, (std::vector<std::string>{"bmp=bmp pictures", "mag=mag pictures", "mg2=mag pictures",
                                            "mgx=mag second", "pic=pic pictures"}));
}

TEST(SpiSearch, SameFolderThroughTwoSearchPlacesIsLoadedOnce) {
  TempDir data, dir;
  std::filesystem::create_directory(dir / "plugins");
  std::filesystem::copy_file(kSpiDir + "tpic.spi", dir / "plugins/tpic.spi");
  std::filesystem::copy_file(kSpiDir + "tmag.spi", dir / "plugins/tmag.spi");
  // The per-user folder is a link to the program folder.
  std::filesystem::create_directories(data / "Varoka");
  std::filesystem::create_directory_symlink(dir / "plugins", data / "Varoka/Plugins");
  const char* oldXdg = std::getenv("XDG_DATA_HOME");
  std::string savedXdg = oldXdg ? oldXdg : "";
  const std::string savedExe = ExecutableDir();
  char cwd[4096];
  ASSERT_TRUE(::getcwd(cwd, sizeof cwd));
  ::setenv("XDG_DATA_HOME", data.Path().c_str(), 1);
  SetExecutableDir(dir / "plugins/");
  ASSERT_EQ(::chdir((dir / "plugins").c_str()), 0);
  {
    TSPIs spis(spsSusieDir | spsAppDir | spsCurrentDir, true);
    EXPECT_EQ(spis.Count(), 2);
    EXPECT_TRUE(spis.Errors().empty());
  }
  EXPECT_EQ(::chdir(cwd), 0);
  SetExecutableDir(savedExe);
  if (oldXdg) ::setenv("XDG_DATA_HOME", savedXdg.c_str(), 1);
  else ::unsetenv("XDG_DATA_HOME");
}

TEST(SpiSearch, PerUserFolder) {
  const char* oldXdg = std::getenv("XDG_DATA_HOME");
  const char* oldHome = std::getenv("HOME");
  std::string savedXdg = oldXdg ? oldXdg : "", savedHome = oldHome ? oldHome : "";
  ::setenv("XDG_DATA_HOME", "/data/x", 1);
  EXPECT_EQ(TSPIs::UserPluginDir(), "/data/x/Varoka/Plugins/");
  ::setenv("XDG_DATA_HOME", "relative/ignored", 1);
  ::setenv("HOME", "/home/someone", 1);
  EXPECT_EQ(TSPIs::UserPluginDir(), "/home/someone/.local/share/Varoka/Plugins/");
  ::unsetenv("XDG_DATA_HOME");
  EXPECT_EQ(TSPIs::FolderFor(spsSusieDir), "/home/someone/.local/share/Varoka/Plugins/");
  if (oldXdg) ::setenv("XDG_DATA_HOME", savedXdg.c_str(), 1);
  if (oldHome) ::setenv("HOME", savedHome.c_str(), 1);
  else ::unsetenv("HOME");
}

TEST_F(SpiHost, CandidatesMatchingTheExtensionComeFirst) {
  DIB d = MakeDIB(3, 2, 24, 0, 0, 1);
  TSPIBitmap b;
  // Only the .mag plug-in takes TMAG: the .pic plug-in is asked first.
  Load(b, "x.pic", TestPicture("TMAG", 0, d.info, d.bits));
  // Asked: pic, then the other image plug-ins in load order up to mag.
  std::vector<std::string> want = {"pic"};
  for (int i = 0; i < spis_->Count() && want.back() != "mag"; ++i) {
    std::string n = ExtractFileName(spis_->Items(i)->FileName);
    if (dynamic_cast<TInSPI*>(spis_->Items(i)) && n != "tpic.spi") want.push_back(n.substr(1, n.size() - 5));
  }
  EXPECT_EQ(Calls("IsSupported"), want);
  EXPECT_EQ(b.ReadBy, Find("tmag.spi"));
  ExpectPicture(b, d);
  // Every plug-in takes TANY: the one for the extension reads it.
  Load(b, "x.MG2", TestPicture("TANY", 0, d.info, d.bits));
  EXPECT_EQ(Calls("IsSupported").at(0), "mag");
  EXPECT_EQ(b.ReadBy, Find("tmag.spi"));
  Load(b, "x.pic", TestPicture("TANY", 0, d.info, d.bits));
  EXPECT_EQ(Calls("IsSupported"), std::vector<std::string>{"pic"});
  EXPECT_EQ(b.ReadBy, Find("tpic.spi"));
  // Only image plug-ins are candidates: archive, 00XN and unknown kinds never.
  b.InSPIAble().Extension = "ARC";
  for (TInSPI* c : b.InSPIAble().Candidates()) EXPECT_NE(ExtractFileName(c->FileName), "tarc.spi");
  EXPECT_EQ(b.InSPIAble().Candidates().size(), 3u);  // pic, mag, bmp
}

TEST_F(SpiHost, FixedPluginIsTheOnlyOneTried) {
  DIB d = MakeDIB(2, 2, 24, 0, 0, 2);
  TSPIBitmap b;
  b.Plugin = Find("tmag.spi");
  Load(b, "x.pic", TestPicture("TANY", 0, d.info, d.bits));
  EXPECT_EQ(Calls("IsSupported"), std::vector<std::string>{"mag"});
  EXPECT_THROW(Load(b, "y.pic", TestPicture("TPIC", 0, d.info, d.bits)), EInvalidGraphic);
}

TEST_F(SpiHost, BmpIsReadNativelyFirstAndOtherwiseLast) {
  std::vector<uint8_t> bmp = SampleBMP(7, 5);
  TBitmap reference;
  reference.LoadFromMemory(bmp.data(), bmp.size());
  TSPIBitmap b;
  Load(b, "a.bmp", bmp);  // tbmp.spi declares *.bmp but is never asked
  EXPECT_TRUE(Calls("IsSupported").empty());
  EXPECT_EQ(b.ReadBy, nullptr);
  EXPECT_TRUE(SameImage(b, reference));
  Load(b, "noextension", bmp);
  EXPECT_TRUE(Calls("IsSupported").empty());
  // Another extension: every image plug-in is asked (twice: whole and after
  // the prefix), then the native reader takes it.
  Load(b, "a.dat", bmp);
  EXPECT_EQ(Calls("IsSupported").size(), 6u);
  EXPECT_EQ(b.ReadBy, nullptr);
  EXPECT_TRUE(SameImage(b, reference));
  // A stream has no name: native first.
  std::istringstream in(std::string(bmp.begin(), bmp.end()));
  g_log.clear();
  b.LoadFromStream(in);
  EXPECT_TRUE(Calls("IsSupported").empty());
  EXPECT_TRUE(SameImage(b, reference));
}

TEST_F(SpiHost, ShortDataIsOfferedAsZeroPaddedHeaderButFullLengthStays) {
  DIB d = MakeDIB(1, 1, 24, 0, 0, 3);
  std::vector<uint8_t> data = TestPicture("TPIC", 0, d.info, d.bits);
  data.resize(100, 0x5A);  // padding bytes the plug-in ignores
  TSPIBitmap b;
  Load(b, "short.pic", data);
  ASSERT_FALSE(g_log.empty());
  const LogEntry& is = g_log.front();
  ASSERT_EQ(is.function, "IsSupported");
  ASSERT_EQ(is.header.size(), 2048u);
  EXPECT_TRUE(std::equal(data.begin(), data.end(), is.header.begin()));
  EXPECT_TRUE(std::all_of(is.header.begin() + 100, is.header.end(), [](uint8_t c) { return c == 0; }));
  for (auto& e : g_log)
    if (e.function != "IsSupported") {
      EXPECT_EQ(e.len, 100) << e.function;
    }
  ExpectPicture(b, d);
}

TEST_F(SpiHost, PrefixOf128BytesIsSkippedOnRetry) {
  DIB d = MakeDIB(4, 3, 8, 256, 0, 4);
  std::vector<uint8_t> pic = TestPicture("TPIC", 0, d.info, d.bits);
  std::vector<uint8_t> data(128, 'x');
  data.insert(data.end(), pic.begin(), pic.end());
  TSPIBitmap b;
  Load(b, "p.pic", data);
  ExpectPicture(b, d);
  EXPECT_EQ(b.ReadBy, Find("tpic.spi"));
  for (auto& e : g_log)
    if (e.function == "GetPicture") {
      EXPECT_EQ(size_t(e.len), pic.size());
    }

  TSPIBitmap strict, before;
  strict.SkipPrefix = false;
  std::vector<uint8_t> bmp = SampleBMP(3, 3);
  strict.LoadFromMemory(bmp.data(), bmp.size());
  before.LoadFromMemory(bmp.data(), bmp.size());
  try {
    Load(strict, "p.pic", data);
    FAIL();
  } catch (const EInvalidGraphic& e) {
    EXPECT_EQ(e.Message(), "認識できない画像形式です");
  }
  EXPECT_TRUE(SameImage(strict, before));
}

TEST_F(SpiHost, TakesOverEveryDepthAndColourTable) {
  struct Case {
    int32_t w, h;
    int bpp;
    uint32_t table, clrUsed;
    TPixelFormat pf;
  };
  const Case cases[] = {
      {13, 5, 1, 2, 0, pf8bit},    {9, 4, 4, 16, 0, pf8bit},   {9, -4, 4, 5, 5, pf8bit},
      {17, 6, 8, 256, 0, pf8bit},  {10, 3, 8, 7, 7, pf8bit},   {7, 5, 24, 0, 0, pf24bit},
      {6, -5, 24, 0, 0, pf24bit},  {5, 4, 32, 0, 0, pf32bit},  {33, 2, 1, 2, 2, pf8bit},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE("bpp " + std::to_string(c.bpp) + " h " + std::to_string(c.h) + " table " + std::to_string(c.table));
    DIB d = MakeDIB(c.w, c.h, c.bpp, c.table, c.clrUsed, uint32_t(10 + n++));
    TSPIBitmap b;
    Load(b, "t.pic", TestPicture("TPIC", 0, d.info, d.bits));
    EXPECT_EQ(b.PixelFormat(), c.pf);
    ExpectPicture(b, d);
    if (c.bpp == 4) {
      ASSERT_GE(b.Palette().size(), c.table);
      for (uint32_t i = 0; i < c.table; ++i) {
        EXPECT_EQ(b.Palette()[i].peRed, d.table[i].rgbRed);
        EXPECT_EQ(b.Palette()[i].peBlue, d.table[i].rgbBlue);
      }
    }
  }
}

TEST_F(SpiHost, PictureInfoAndCommentAreKept) {
  DIB d = MakeDIB(3, 3, 24, 0, 0, 5);
  TSPIBitmap b;
  Load(b, "c.pic", TestPicture("TPIC", 16, d.info, d.bits));
  EXPECT_EQ(b.Comment, "hello comment");
  EXPECT_EQ(b.Info.width, 3);
  EXPECT_EQ(b.Info.x_density, 72);
  EXPECT_EQ(b.Info.y_density, 96);
  EXPECT_EQ(b.Info.hInfo, nullptr);
}

TEST_F(SpiHost, ProgressIsReportedAndCanStopTheRead) {
  DIB d = MakeDIB(3, 3, 24, 0, 0, 6);
  TSPIBitmap b;
  std::vector<std::pair<TSPIProgressStage, int>> seen;
  b.OnProgress = [&](TSPIProgressStage s, int p) { seen.emplace_back(s, p); };
  Load(b, "g.pic", TestPicture("TPIC", 32, d.info, d.bits));
  using S = TSPIProgressStage;
  // 0/4, 1/4, 2/4, 4/4 give num x 98 / denom + 1; 5/0 is ignored.
  EXPECT_EQ(seen, (std::vector<std::pair<S, int>>{
                      {S::psStarting, 0}, {S::psRunning, 1}, {S::psRunning, 25}, {S::psRunning, 50},
                      {S::psRunning, 99}, {S::psEnding, 100}}));

  // An exception from the progress event stops the plug-in and reaches the
  // caller; the bitmap keeps what it had.
  TSPIBitmap before;
  before.Assign(b);
  seen.clear();
  b.OnProgress = [&](TSPIProgressStage s, int p) {
    seen.emplace_back(s, p);
    if (s == S::psRunning && p > 20) throw Exception("stopped by the user");
  };
  DIB other = MakeDIB(4, 4, 24, 0, 0, 7);
  try {
    Load(b, "g.pic", TestPicture("TPIC", 32, other.info, other.bits));
    FAIL();
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "stopped by the user");
  }
  EXPECT_EQ(seen.back().first, S::psEnding);
  EXPECT_TRUE(SameImage(b, before));
}

TEST_F(SpiHost, MisbehavingPluginsLeaveTheBitmapUntouched) {
  DIB d = MakeDIB(8, 6, 24, 0, 0, 8);
  std::vector<uint8_t> bmp = SampleBMP(3, 3);
  TSPIBitmap b, before;
  b.LoadFromMemory(bmp.data(), bmp.size());
  before.LoadFromMemory(bmp.data(), bmp.size());
  const std::string unrecognised = "認識できない画像形式です";

  auto expectRefused = [&](const std::vector<uint8_t>& data, const std::string& message, const std::string& what) {
    SCOPED_TRACE(what);
    try {
      Load(b, "bad.pic", data);
      ADD_FAILURE() << "accepted";
    } catch (const EInvalidGraphic& e) {
      if (!message.empty()) {
        EXPECT_EQ(e.Message(), message);
      }
    }
    EXPECT_TRUE(SameImage(b, before));
  };
  expectRefused(TestPicture("NONE", 0, d.info, d.bits), unrecognised, "rejected by all");
  expectRefused(TestPicture("TPIC", 1, d.info, d.bits), unrecognised, "GetPictureInfo fails");
  expectRefused(TestPicture("TPIC", 2, d.info, d.bits), unrecognised, "GetPicture fails");
  expectRefused(TestPicture("TPIC", 4, d.info, d.bits), unrecognised, "no handles");

  // Headers that claim more than the plug-in allocated.  (The allocator may
  // round a block up by a few bytes, and those may be read; so the blocks
  // here are short by more than that.)
  std::vector<uint8_t> shortBits(d.bits.begin(), d.bits.end() - long(d.stride) - 8);
  expectRefused(TestPicture("TPIC", 0, d.info, shortBits), "", "pixel block short");
  DIB pal = MakeDIB(4, 4, 8, 256, 0, 9);
  std::vector<uint8_t> shortTable(pal.info.begin(), pal.info.end() - 64);
  expectRefused(TestPicture("TPIC", 0, shortTable, pal.bits), "", "colour table short");
  expectRefused(TestPicture("TPIC", 0, std::vector<uint8_t>(d.info.begin(), d.info.begin() + 30), d.bits), "",
                "header short");
  auto patched = [&](size_t at, uint32_t v, int bytes) {
    std::vector<uint8_t> info = d.info;
    for (int i = 0; i < bytes; ++i) info[at + size_t(i)] = uint8_t(v >> (8 * i));
    return TestPicture("TPIC", 0, info, d.bits);
  };
  expectRefused(patched(8, 7, 4), "", "taller than the pixels");
  expectRefused(patched(14, 16, 2), "", "16 bits per pixel");
  expectRefused(patched(16, 1, 4), "", "compressed");
  expectRefused(patched(4, 0, 4), "", "width 0");
  expectRefused(patched(0, 400, 4), "", "header size beyond the block");
  expectRefused(patched(32, 300, 4), "", "300 colours");

  // Too large: refused from GetPictureInfo before GetPicture allocates.
  g_log.clear();
  expectRefused(TestPicture("TPIC", 8, d.info, d.bits), TooLargeMessage(100000, 100000), "info 100000 x 100000");
  EXPECT_TRUE(Calls("GetPicture").empty());
  std::vector<uint8_t> huge = d.info;
  Put32LE(huge, 4, 100000);
  Put32LE(huge, 8, 100000);
  expectRefused(TestPicture("TPIC", 0, huge, d.bits), TooLargeMessage(100000, 100000), "header 100000 x 100000");
  // The take-over checks the header on its own too, whatever the info said.
  TBitmap out;
  try {
    TakeOverDIB(huge.data(), huge.size(), d.bits.data(), d.bits.size(), out);
    FAIL();
  } catch (const EInvalidGraphic& e) {
    EXPECT_EQ(e.Message(), TooLargeMessage(100000, 100000));
  }
  EXPECT_TRUE(out.Empty());
}

TEST_F(SpiHost, DamagedBmpGivesTheReadersReason) {
  std::vector<uint8_t> bmp = SampleBMP(20, 10);
  TSPIBitmap b, before;
  b.LoadFromMemory(bmp.data(), bmp.size());
  before.LoadFromMemory(bmp.data(), bmp.size());
  for (size_t cut : {size_t(10), size_t(40), bmp.size() / 2, bmp.size() - 1}) {
    SCOPED_TRACE(cut);
    EXPECT_THROW(Load(b, "cut.bmp", std::vector<uint8_t>(bmp.begin(), bmp.begin() + long(cut))), EInvalidGraphic);
    EXPECT_TRUE(SameImage(b, before));
  }
  std::vector<uint8_t> huge = bmp;
  Put32LE(huge, 18, 100000);
  Put32LE(huge, 22, 100000);
  try {
    Load(b, "huge.bmp", huge);
    FAIL();
  } catch (const EInvalidGraphic& e) {
    EXPECT_NE(e.Message(), "認識できない画像形式です");
    EXPECT_NE(e.Message().find("100000"), std::string::npos) << e.Message();
  }
  EXPECT_TRUE(SameImage(b, before));
  EXPECT_THROW(b.LoadFromFile(dir_ / "missing.bmp"), EInOutError);
}

TEST(SpiWithoutHost, NoPluginsMeansBmpOnly) {
  ASSERT_EQ(TSPIs::Instance(), nullptr);
  TempDir dir;
  std::vector<uint8_t> bmp = SampleBMP(4, 4);
  WriteFile(dir / "a.pic", bmp);
  TSPIBitmap b;
  b.LoadFromFile(dir / "a.pic");  // no plug-ins: the native reader still reads it
  EXPECT_EQ(b.Width(), 4);
  WriteFile(dir / "b.pic", {'T', 'P', 'I', 'C', 0, 0, 0, 0});
  try {
    b.LoadFromFile(dir / "b.pic");
    FAIL();
  } catch (const EInvalidGraphic& e) {
    EXPECT_EQ(e.Message(), "認識できない画像形式です");
  }
}
