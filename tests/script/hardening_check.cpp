// Hostile input and faults met by KW --run: swap files that belong to one
// process only, special files, signals and file size limits, decoder
// floods, failures that must not pass for success, empty images, and saving
// through symbolic links.
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <chrono>
#include <set>
#include <thread>

#include "run_fixture.h"

namespace {
using namespace kwrun;

// Folders named kw-undo-* directly in folder.
std::vector<fs::path> SwapFolders(const fs::path& folder) {
  std::vector<fs::path> found;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(folder, ec))
    if (e.path().filename().string().rfind("kw-undo-", 0) == 0) found.push_back(e.path());
  return found;
}

bool SamePixels(const std::string& a, const std::string& b) {
  Picture pa(a), pb(b);
  if (pa.bmp.Width() != pb.bmp.Width() || pa.bmp.Height() != pb.bmp.Height()) return false;
  for (int y = 0; y < pa.bmp.Height(); ++y)
    for (int x = 0; x < pa.bmp.Width(); ++x)
      if ((pa.at(x, y) & 0xFFFFFF) != (pb.at(x, y) & 0xFFFFFF)) return false;
  return true;
}

class Hardening : public RunFixture {
 protected:
  // The processors of kind ("filter", "mixer", "generator") in the order
  // KW --list gives them, each with the names of its parameters.
  std::vector<std::pair<std::string, std::set<std::string>>> Processors(const std::string& kind) {
    const std::string cmd = "cd '" + dir.string() + "' && QT_QPA_PLATFORM=offscreen '" + kw.string() +
                            "' --list > list.txt 2> /dev/null";
    EXPECT_EQ(std::system(cmd.c_str()), 0);
    std::vector<std::pair<std::string, std::set<std::string>>> found;
    std::istringstream in(ReadAll(dir / "list.txt"));
    bool mine = false;
    for (std::string line; std::getline(in, line);) {
      std::istringstream fields(line);
      std::string first, second;
      std::getline(fields, first, '\t');
      std::getline(fields, second, '\t');
      if (!first.empty()) {
        mine = first == kind;
        if (mine) found.push_back({second, {}});
      } else if (mine) {
        found.back().second.insert(second);
      }
    }
    return found;
  }

  // A script that opens in0.bmp, opens in1.bmp ... in9.bmp into it as ten
  // history images, and saves after each of nine UNDOs.
  std::string UndoScript(const std::string& prefix) {
    std::string s = "IMAGE A\nOPEN A \"" + prefix + "0.bmp\"\n";
    for (int i = 1; i < 10; ++i) s += "OPENTOIMAGE A \"" + prefix + std::to_string(i) + ".bmp\"\n";
    for (int i = 8; i >= 0; --i) s += "UNDO A\nSAVE A \"" + prefix + "out" + std::to_string(i) + ".bmp\"\n";
    return s;
  }
  void ExpectOwnImagesBack(const std::string& prefix) {
    for (int i = 0; i <= 8; ++i)
      EXPECT_TRUE(SamePixels(P(prefix + std::to_string(i) + ".bmp"), P(prefix + "out" + std::to_string(i) + ".bmp")))
          << prefix << i;
  }
  // Environment with no usable temporary folder and no usable cache folder.
  std::string NoTmpNoCache() {
    std::ofstream(dir / "plainfile") << "x";
    return "TMPDIR=/nonexistent-kw XDG_CACHE_HOME='" + P("plainfile") + "/cache' ";
  }
};

TEST_F(Hardening, TwoRunsAtOnceKeepTheirOwnSwapFiles) {
  for (int i = 0; i < 10; ++i) {
    RandomPicture(P("a" + std::to_string(i) + ".bmp"), 64, 48, 100 + i);
    RandomPicture(P("b" + std::to_string(i) + ".bmp"), 64, 48, 200 + i);
  }
  std::ofstream(dir / "a.kws") << UndoScript("a");
  std::ofstream(dir / "b.kws") << UndoScript("b");
  // Both runs fall back to the program folder's UndoData at the same time.
  const std::string env = NoTmpNoCache() + "QT_QPA_PLATFORM=offscreen timeout 120 '" + kw.string() + "' --run ";
  const std::string cmd = "cd '" + dir.string() + "' && { " + env + "a.kws > a.out 2>&1 & " + env +
                          "b.kws > b.out 2>&1 & wait; }";
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  EXPECT_EQ(ReadAll(dir / "a.out"), "");
  EXPECT_EQ(ReadAll(dir / "b.out"), "");
  ExpectOwnImagesBack("a");
  ExpectOwnImagesBack("b");
  // The private folders went with their runs; none was made at the root.
  EXPECT_TRUE(fs::is_directory(dir / "prog" / "UndoData"));
  EXPECT_TRUE(SwapFolders(dir / "prog" / "UndoData").empty());
  EXPECT_TRUE(SwapFolders("/").empty());
}

TEST_F(Hardening, SwapFolderFallsBackAndAFailingOneKeepsImagesInMemory) {
  for (int i = 0; i < 10; ++i) RandomPicture(P("a" + std::to_string(i) + ".bmp"), 64, 64, 300 + i);
  // Temporary, cache and program folder unusable: the user's data folder.
  std::ofstream(dir / "prog" / "UndoData") << "not a folder";
  Result r = Run(UndoScript("a"), NoTmpNoCache() + "XDG_DATA_HOME='" + P("data") + "' ");
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_TRUE(fs::is_directory(dir / "data" / "Varoka" / "UndoData"));
  EXPECT_TRUE(SwapFolders(dir / "data" / "Varoka" / "UndoData").empty());
  ExpectOwnImagesBack("a");

  // No place at all: the images stay in memory, said once.
  Result none = Run(UndoScript("a"), NoTmpNoCache() + "XDG_DATA_HOME='" + P("plainfile") + "/data' ");
  EXPECT_EQ(none.code, 0) << none.err;
  const std::string note = "メモリに保持したまま処理を続けます。";
  ASSERT_NE(none.err.find(note), std::string::npos) << none.err;
  EXPECT_EQ(none.err.find(note), none.err.rfind(note)) << none.err;
  ExpectOwnImagesBack("a");

  // A full disk (here a file size limit that a swap file exceeds and a
  // saved picture does not): the same, and the process is not killed.
  fs::create_directories(dir / "tmp");
  Result full = Run(UndoScript("a"), "ulimit -f 25; TMPDIR='" + P("tmp") + "' ");
  EXPECT_EQ(full.code, 0) << full.err;
  EXPECT_NE(full.err.find(note), std::string::npos) << full.err;
  EXPECT_NE(full.err.find("File too large"), std::string::npos) << full.err;
  ExpectOwnImagesBack("a");
  EXPECT_TRUE(SwapFolders(dir / "tmp").empty());
}

TEST_F(Hardening, SignalsEndARunWithoutLeavingFiles) {
  RandomPicture(P("in.bmp"), 200, 200, 9);
  fs::create_directories(dir / "tmp");
  const std::string negative = Processors("filter").at(0).first;
  std::ofstream(dir / "t.kws") << "IMAGE A\nOPEN A \"in.bmp\"\nWHILE TRUE\nEXECFILTER " << negative << " A\nLOOP\n";
  for (int sig : {SIGTERM, SIGINT, SIGHUP}) {
    const pid_t pid = ::fork();
    if (pid == 0) {
      if (::chdir(dir.c_str()) != 0) ::_exit(99);
      ::setenv("TMPDIR", P("tmp").c_str(), 1);
      ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
      ::execl(kw.c_str(), "KW", "--run", "t.kws", static_cast<char*>(nullptr));
      ::_exit(98);
    }
    ASSERT_GT(pid, 0);
    // Wait until the run has swap files on disk.
    bool swapping = false;
    for (int i = 0; i < 600 && !swapping; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      for (const fs::path& f : SwapFolders(dir / "tmp"))
        swapping = swapping || std::distance(fs::directory_iterator(f), fs::directory_iterator()) >= 2;
    }
    EXPECT_TRUE(swapping);
    ::kill(pid, sig);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status)) << sig;
    EXPECT_EQ(WEXITSTATUS(status), 128 + sig);
    EXPECT_TRUE(SwapFolders(dir / "tmp").empty()) << sig;
  }

  // Folders of runs that ended without removing them go at the next start;
  // one whose process still holds it stays.
  const pid_t gone = ::fork();
  if (gone == 0) ::_exit(0);
  ::waitpid(gone, nullptr, 0);
  const fs::path stale = dir / "tmp" / ("kw-undo-" + std::to_string(gone) + "-abcdef");
  const fs::path live = dir / "tmp" / ("kw-undo-" + std::to_string(::getpid()) + "-ghijkl");
  fs::create_directories(stale);
  fs::create_directories(live);
  std::ofstream(stale / "00000001.tmp") << "old";
  const int lock = ::open(live.c_str(), O_RDONLY | O_DIRECTORY);
  ASSERT_EQ(::flock(lock, LOCK_EX), 0);
  Result r = Run("VALUE X\n", "TMPDIR='" + P("tmp") + "' ");
  ::close(lock);
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_FALSE(fs::exists(stale));
  EXPECT_TRUE(fs::exists(live));

  // A file size limit: the write fails with its message, nothing partial stays.
  Result big = Run("IMAGE A\nOPEN A \"in.bmp\"\nSAVE A \"big.bmp\"\n", "ulimit -f 64; TMPDIR='" + P("tmp") + "' ");
  EXPECT_EQ(big.code, 1);
  EXPECT_NE(big.err.find("big.bmp"), std::string::npos) << big.err;
  EXPECT_NE(big.err.find("File too large"), std::string::npos) << big.err;
  for (const auto& e : fs::directory_iterator(dir))
    EXPECT_EQ(e.path().filename().string().rfind("big.bmp", 0), std::string::npos) << e.path();
}

TEST_F(Hardening, OnlyRegularFilesAreRead) {
  RandomPicture(P("in.bmp"), 8, 8, 1);
  for (const char* fifo : {"fifo.bmp", "fifo.png", "fifo.jpg", "fifo.kws"}) ASSERT_EQ(::mkfifo(P(fifo).c_str(), 0600), 0);
  const std::string notRegular = "は通常のファイルではないため読み込めません。";
  for (const std::string name : {"/dev/zero", "fifo.bmp", "fifo.png", "fifo.jpg"}) {
    Result r = Run("IMAGE A\nOPEN A \"" + name + "\"\n");
    EXPECT_EQ(r.code, 1) << name;
    EXPECT_NE(r.err.find("「" + name + "」" + notRegular), std::string::npos) << r.err;
  }
  for (const std::string name : {"/dev/zero", "fifo.kws"}) {
    Result r = Run("CALL \"" + name + "\"\n");
    EXPECT_EQ(r.code, 1) << name;
    EXPECT_NE(r.err.find("「" + name + "」" + notRegular), std::string::npos) << r.err;
    const std::string cmd = "cd '" + dir.string() + "' && QT_QPA_PLATFORM=offscreen timeout 120 '" + kw.string() +
                            "' --run " + name + " 2> direct.txt";
    EXPECT_EQ(WEXITSTATUS(std::system(cmd.c_str())), 1);
    EXPECT_NE(ReadAll(dir / "direct.txt").find(notRegular), std::string::npos) << name;
  }
  // A tone file of /dev/zero kept in the settings, and a settings file that
  // is a FIFO: the listing still ends, the filter says which file it is.
  std::ofstream(dir / "prog" / "ProcLib" / "KWPrcLib.ini") << "[Gamma]\nUseToneFile=1\nToneFileName=/dev/zero\n";
  ASSERT_EQ(::mkfifo((dir / "prog" / "KW.ini").c_str(), 0600), 0);
  EXPECT_FALSE(Processors("filter").empty());
  Result g = Run("IMAGE A\nOPEN A \"in.bmp\"\nEXECFILTER GAMMA A\n");
  EXPECT_EQ(g.code, 1);
  EXPECT_NE(g.err.find("「/dev/zero」" + notRegular), std::string::npos) << g.err;
  EXPECT_NE(g.err.find("KW.ini」" + notRegular), std::string::npos) << g.err;
}

// A progressive JPEG that declares 4096 x 4096 pixels and holds 5,000 empty
// scans: refused as damaged instead of decoding every scan over the whole
// picture (at 16384 x 16384 that took most of a minute).
TEST_F(Hardening, AFloodOfJpegScansIsRefused) {
  if (std::system("command -v convert > /dev/null 2>&1") != 0) GTEST_SKIP() << "no ImageMagick";
  ASSERT_EQ(std::system(("convert -size 16x16 xc:red -interlace JPEG '" + P("p.jpg") + "'").c_str()), 0);
  const std::string j = ReadAll(dir / "p.jpg");
  const size_t sof = j.find("\xFF\xC2"), sos = j.find("\xFF\xDA");
  ASSERT_NE(sof, std::string::npos);
  ASSERT_NE(sos, std::string::npos);
  std::string head = j.substr(0, sos);
  head[sof + 5] = head[sof + 7] = char(0x10);  // height and width 0x1000
  head[sof + 6] = head[sof + 8] = 0;
  const size_t sosLength = (uint8_t(j[sos + 2]) << 8 | uint8_t(j[sos + 3])) + 2;
  std::string flood = head;
  for (int i = 0; i < 5000; ++i) flood += j.substr(sos, sosLength);
  flood += "\xFF\xD9";
  std::ofstream(dir / "flood.jpg", std::ios::binary) << flood;
  Result r = Run("IMAGE A\nOPEN A \"flood.jpg\"\n");
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find("flood.jpg"), std::string::npos) << r.err;
  EXPECT_TRUE(r.err.find("データの破損が多すぎます") != std::string::npos ||
              r.err.find("スキャンの数が多すぎます") != std::string::npos)
      << r.err;
}

TEST_F(Hardening, FailuresAreNotReportedAsSuccess) {
  RandomPicture(P("in.bmp"), 8, 8, 3);
  const std::string gen = Processors("generator").at(0).first;
  for (const char* size : {"20000 20000", "100000 100000", "-5 10", "2147483647 1"}) {
    std::istringstream wh(size);
    std::string w, h;
    wh >> w >> h;
    Result r = Run("IMAGE A\n= GENERATOR.WIDTH " + w + "\n= GENERATOR.HEIGHT " + h + "\nEXECGENERATOR " + gen +
                   " A\nSAVE A \"gen.bmp\"\n");
    EXPECT_EQ(r.code, 1) << size;
    EXPECT_NE(r.err.find("生成する画像の大きさ " + w + " x " + h + " は作成できません。"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(dir / "gen.bmp")) << size;
  }
  Result ac = Run("IMAGE A\nOPEN A \"in.bmp\"\nHARFAC A\nSAVEAC A \"a.gif\"\n");
  EXPECT_EQ(ac.code, 1);
  EXPECT_NE(ac.err.find("この形式では保存できません。"), std::string::npos) << ac.err;
}

// Images without pixels (a BMP 0 pixels wide, and the empty overlap of a
// mix at the background's edge) and images smaller than a filter's window
// pass every filter, with every window shape, and every mixer.
TEST_F(Hardening, EmptyAndTinyImagesPassEveryFilterAndMixer) {
  std::string bmp(54, '\0');
  bmp[0] = 'B', bmp[1] = 'M', bmp[2] = 54, bmp[10] = 54, bmp[14] = 40;
  bmp[22] = char(134), bmp[26] = 1, bmp[28] = 24;  // 0 x 134, 24 bits
  std::ofstream(dir / "zero.bmp", std::ios::binary) << bmp;
  const std::vector<std::pair<int, int>> tiny = {{1, 1}, {2, 1}, {1, 3}, {3, 2}, {4, 5}, {6, 4}};
  for (const auto& [w, h] : tiny) RandomPicture(P(std::to_string(w) + "x" + std::to_string(h) + ".bmp"), w, h, w * 7 + h);
  RandomPicture(P("in.bmp"), 9, 7, 4);
  std::string s = "IMAGE Z\nIMAGE B\nIMAGE C\nOPEN B \"in.bmp\"\n";
  for (const auto& [f, params] : Processors("filter")) {
    const int ranges = params.count("RANGE") ? 4 : 1;
    for (int range = 0; range < ranges; ++range) {
      if (params.count("RANGE")) s += "= " + f + ".RANGE " + std::to_string(range) + "\n";
      // Resizing gives an image a size of its own: start afresh each time.
      s += "OPEN Z \"zero.bmp\"\nEXECFILTER " + f + " Z\nCLOSE Z\n";
      for (const auto& [w, h] : tiny)
        s += "OPEN Z \"" + std::to_string(w) + "x" + std::to_string(h) + ".bmp\"\nEXECFILTER " + f + " Z\nCLOSE Z\n";
    }
  }
  s += "= MIXER.CLIPPING TRUE\n= MIXER.ORIGIN_X 9\n";
  for (const auto& [m, params] : Processors("mixer"))
    s += "OPEN Z \"zero.bmp\"\nEXECMIXER " + m + " Z B\nEXECMIXER " + m + " B Z\nCLONE C B\nEXECMIXER " + m +
         " C B\nCLOSE C\nCLOSE Z\n";
  Result r = Run(s);
  EXPECT_EQ(r.code, 0) << r.err;
}

TEST_F(Hardening, SavingOntoALinkWritesThroughToItsTarget) {
  RandomPicture(P("in.bmp"), 8, 8, 6);
  fs::create_directories(dir / "real");
  RandomPicture(P("real/old.bmp"), 3, 3, 7);
  fs::create_symlink("real/old.bmp", dir / "link.bmp");
  fs::create_symlink("real/new.png", dir / "dangling.png");  // the target does not exist yet
  Result r = Run("IMAGE A\nOPEN A \"in.bmp\"\nSAVE A \"link.bmp\"\nSAVE A \"dangling.png\"\n");
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_TRUE(fs::is_symlink(dir / "link.bmp"));
  EXPECT_TRUE(fs::is_symlink(dir / "dangling.png"));
  EXPECT_TRUE(SamePixels(P("in.bmp"), P("real/old.bmp")));
  EXPECT_TRUE(fs::is_regular_file(dir / "real" / "new.png"));
}

}  // namespace
