// The program as installed and as a copied program folder, run as whole
// processes: the installed layout (launcher, desktop entry, icons, script
// type, man page, AppStream metadata), the demo script from both, script
// arguments with KW --run, and many runs at once giving the bytes of one
// run after another without sharing swap files or writing settings.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

namespace fs = std::filesystem;

namespace {

std::string ReadAll(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

struct Result {
  int code = -1;
  std::string out, err;
};

fs::path Root() {
  static const fs::path r = [] {
    fs::path p = fs::temp_directory_path() / ("kwdist_" + std::to_string(::getpid()));
    fs::remove_all(p);
    fs::create_directories(p);
    return p;
  }();
  return r;
}

// Runs a shell command in folder `in`, with the environment prefix given.
Result Sh(const std::string& cmd, const fs::path& in = Root()) {
  const fs::path o = Root() / "stdout.txt", e = Root() / "stderr.txt";
  const std::string full = "cd '" + in.string() + "' && ( " + cmd + " ) > '" + o.string() + "' 2> '" +
                           e.string() + "'";
  const int st = std::system(full.c_str());
  Result r;
  r.code = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  r.out = ReadAll(o);
  r.err = ReadAll(e);
  return r;
}

// Every file under a folder with its size and modification time.
std::map<std::string, std::string> Snapshot(const fs::path& dir) {
  std::map<std::string, std::string> m;
  for (const auto& e : fs::recursive_directory_iterator(dir)) {
    struct stat st {};
    ::lstat(e.path().c_str(), &st);
    m[e.path().string()] = std::to_string(st.st_size) + "@" + std::to_string(st.st_mtim.tv_sec) + "." +
                           std::to_string(st.st_mtim.tv_nsec);
  }
  return m;
}

// Width and height from a PNG file's header.
std::pair<int, int> PngSize(const fs::path& p) {
  const std::string d = ReadAll(p);
  if (d.size() < 24 || d.compare(1, 3, "PNG") != 0) return {0, 0};
  auto be = [&](size_t i) {
    return int((uint8_t(d[i]) << 24) | (uint8_t(d[i + 1]) << 16) | (uint8_t(d[i + 2]) << 8) | uint8_t(d[i + 3]));
  };
  return {be(16), be(20)};
}

class Installed : public ::testing::Test {
 protected:
  // One installation and one copy of the program folder for all tests.
  static void SetUpTestSuite() {
    ASSERT_EQ(Sh("'" CMAKE_COMMAND "' --install '" KW_BUILD_DIR "' --prefix '" + Prefix().string() + "'").code, 0);
    ASSERT_EQ(Sh("cp -a '" KW_BIN_DIR_DEFAULT "' '" + Copy().string() + "'").code, 0);
    // A copy keeps whatever the build folder held; these runs start clean.
    for (const char* f : {"KW.ini", "ProcLib/KWPrcLib.ini", "Resume", "UndoData", "DemoOut"})
      fs::remove_all(Copy() / f);
    fs::create_directories(Home());
    fs::create_directories(Root() / "tmp");
    fs::create_directories(Root() / "work");
  }
  static void TearDownTestSuite() {
    std::error_code ec;
    fs::remove_all(Root(), ec);
  }
  static fs::path Prefix() { return Root() / "prefix"; }
  static fs::path Program() { return Prefix() / "lib" / "varoka"; }
  static fs::path Copy() { return Root() / "copy"; }
  static fs::path Home() { return Root() / "home"; }
  static fs::path UserData() { return Home() / ".local" / "share" / "Varoka"; }
  // Environment of a user whose home is Home(), temporary files in Root()/tmp.
  static std::string Env() {
    return "env -u XDG_DATA_HOME -u DISPLAY -u WAYLAND_DISPLAY HOME='" + Home().string() + "' TMPDIR='" +
           (Root() / "tmp").string() + "' QT_QPA_PLATFORM=offscreen ";
  }
  static std::string Varoka() { return Env() + "'" + (Prefix() / "bin" / "varoka").string() + "'"; }
  static std::string CopyKW() { return Env() + "'" + (Copy() / "KW").string() + "'"; }
};

TEST_F(Installed, InstallLaysOutADesktopProgram) {
  const fs::path share = Prefix() / "share";
  for (const fs::path& p :
       {Prefix() / "bin" / "varoka", Program() / "KW", Program() / "libKWPrcDef.so",
        Program() / "ProcLib" / "KWPrcLib.so", Program() / "ifpnm.spi", Program() / "ifgif.spi",
        Program() / "Readme.txt", Program() / "KWProc.txt", Program() / "KWScript.txt",
        Program() / "installed.txt", Program() / "Script" / "Demo.kws",
        Program() / "Script" / "Samples" / "Landscape.bmp", share / "applications" / "org.varoka.Varoka.desktop",
        share / "mime" / "packages" / "varoka.xml", share / "man" / "man1" / "varoka.1.gz",
        share / "metainfo" / "org.varoka.Varoka.metainfo.xml"})
    EXPECT_TRUE(fs::exists(p)) << p;
  for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
    const fs::path icon = share / "icons" / "hicolor" / (std::to_string(size) + "x" + std::to_string(size)) /
                          "apps" / "varoka.png";
    EXPECT_EQ(PngSize(icon), std::make_pair(size, size)) << icon;
  }
  // The launcher starts the installed program: same version as the build.
  Result built = Sh("'" KW_BIN_DIR_DEFAULT "/KW' --version");
  Result launched = Sh(Varoka() + " --version");
  EXPECT_EQ(launched.code, 0);
  EXPECT_EQ(launched.out, built.out);
  EXPECT_NE(built.out.find("Varoka "), std::string::npos);
  Result list = Sh(Varoka() + " --list");
  EXPECT_EQ(list.code, 0) << list.err;
  EXPECT_NE(list.out.find("filter\tNegativeColor\t"), std::string::npos);

  EXPECT_EQ(Sh("appstreamcli validate --no-net '" + (share / "metainfo" / "org.varoka.Varoka.metainfo.xml").string() +
               "'").code, 0);
  Result desktop = Sh("desktop-file-validate '" + (share / "applications" / "org.varoka.Varoka.desktop").string() + "'");
  EXPECT_EQ(desktop.code, 0) << desktop.out << desktop.err;
  // The script type as the desktop's MIME database sees it.
  ASSERT_EQ(Sh("update-mime-database '" + (share / "mime").string() + "'").code, 0);
  EXPECT_NE(ReadAll(share / "mime" / "globs2").find("application/x-varoka-script:*.kws"), std::string::npos);
  EXPECT_NE(ReadAll(share / "applications" / "org.varoka.Varoka.desktop").find("application/x-varoka-script"),
            std::string::npos);
  // The man page reads as one.
  Result man = Sh("zcat '" + (share / "man" / "man1" / "varoka.1.gz").string() + "' | MANWIDTH=80 man -l - | col -b");
  EXPECT_NE(man.out.find("varoka --run SCRIPT.kws [ARG]..."), std::string::npos) << man.out << man.err;
}

TEST_F(Installed, DemoRunsFromACopyOfTheProgramFolderAndFromTheInstalledProgram) {
  const auto before = Snapshot(Program());
  // Started from another folder: the demo finds its samples beside itself.
  Result copy = Sh(CopyKW() + " --run '" + (Copy() / "Script" / "Demo.kws").string() + "'", Root() / "work");
  EXPECT_EQ(copy.code, 0) << copy.err;
  Result inst = Sh(Varoka() + " --run '" + (Program() / "Script" / "Demo.kws").string() + "'", Root() / "work");
  EXPECT_EQ(inst.code, 0) << inst.err;
  EXPECT_NE(inst.out.find("経過時間"), std::string::npos);
  for (const fs::path& out : {Copy() / "DemoOut", UserData() / "DemoOut"})
    for (const char* f : {"warm.png", "mixed.png", "alpha.bmp", "with-alpha.png", "demo000.png", "demo005.png"})
      EXPECT_TRUE(fs::exists(out / f)) << out / f;
  EXPECT_EQ(ReadAll(Copy() / "DemoOut" / "mixed.png"), ReadAll(UserData() / "DemoOut" / "mixed.png"));
  // The installed program folder stays as installed.
  EXPECT_EQ(Snapshot(Program()), before);
  EXPECT_TRUE(fs::is_empty(Root() / "tmp"));
}

// With no usable temporary or cache folder, the history images of the
// installed program go to the user's data folder, never into the program
// folder (which root could write).
TEST_F(Installed, HistoryImagesAvoidTheInstalledFolderWhenTemporaryFoldersFail) {
  const fs::path work = Root() / "work";
  const auto before = Snapshot(Program());
  fs::create_directories(Home());
  std::ofstream(Home() / ".cache") << "not a folder";
  ASSERT_EQ(Sh("/usr/bin/convert -size 64x48 gradient:red-blue in.bmp", work).code, 0);
  std::ofstream(work / "steps.kws") << "IMAGE A\nOPEN A \"in.bmp\"\nSAVE A \"orig.bmp\"\n"
                                       "EXECFILTER NegativeColor A\nEXECFILTER NegativeColor A\n"
                                       "EXECFILTER NegativeColor A\nEXECFILTER NegativeColor A\n"
                                       "UNDO A\nUNDO A\nUNDO A\nUNDO A\nSAVE A \"back.bmp\"\n";
  Result r = Sh(Env() + "TMPDIR='" + (Root() / "missing").string() + "' '" + (Prefix() / "bin" / "varoka").string() +
                    "' --run steps.kws",
                work);
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(Snapshot(Program()), before);
  EXPECT_TRUE(fs::is_directory(UserData() / "UndoData"));
  EXPECT_EQ(ReadAll(work / "back.bmp"), ReadAll(work / "orig.bmp"));
  fs::remove(Home() / ".cache");
}

TEST_F(Installed, ScriptArgumentsReachTheScriptAsStrings) {
  const fs::path work = Root() / "work";
  ASSERT_EQ(Sh("/usr/bin/convert -size 90x60 gradient:red-blue in.png", work).code, 0);
  // Input and output named relative to the folder the command runs in.
  std::ofstream(work / "args.kws", std::ios::binary)
      << "STRING IN\nSTRING OUT\nSTRING F\nVALUE W\nVALUE N\nBOOL OK\nIMAGE A\n"
         "ARGUMENTCOUNT N\nEVEN OK N 4\nIFNOT OK WRONG\n"
         "GETARGUMENT IN 1\nGETARGUMENT W 2\nGETARGUMENT OUT 3\n"
         "OPEN A IN\n= RESIZE.WIDTH W\n= RESIZE.HEIGHT 30\n= RESIZE.METHOD 1\nEXECFILTER Resize A\n"
         "STRING D\n= D \"out/sub/\"\nMAKEFOLDER D\nCONCAT F D OUT\nSAVE A F\nIF TRUE END\n"
         "WRONG:\nGETARGUMENT F 99\nEND:\n";
  Result ok = Sh(CopyKW() + " --run args.kws in.png 45 small.png -style", work);
  EXPECT_EQ(ok.code, 0) << ok.err;
  EXPECT_EQ(PngSize(work / "out" / "sub" / "small.png"), std::make_pair(45, 30));

  // An argument the script reads but was not given: a clear message, exit 1.
  Result missing = Sh(CopyKW() + " --run args.kws in.png 45", work);
  EXPECT_EQ(missing.code, 1);
  EXPECT_EQ(missing.err, "スクリプトの引数99がありません（与えられた引数は2個です）。\r\nAt \"GETARGUMENT F 99\"\n");
  Result nan = Sh(CopyKW() + " --run args.kws in.png wide x.png y", work);
  EXPECT_EQ(nan.code, 1);
  EXPECT_EQ(nan.err, "スクリプトの引数2\"wide\"は数値ではありません。\r\nAt \"GETARGUMENT W 2\"\n");
  // A script that reads no arguments runs as before, with or without them.
  std::ofstream(work / "plain.kws", std::ios::binary) << "VALUE X\nADD X 1 2\n";
  EXPECT_EQ(Sh(CopyKW() + " --run plain.kws", work).code, 0);
  EXPECT_EQ(Sh(CopyKW() + " --run plain.kws extra words", work).code, 0);
}

// The installed program with its windows (offscreen): what it writes at the
// end (settings, processor settings, the resume data of the open picture)
// lands in the user's data folder; the program folder stays as installed.
TEST_F(Installed, TheProgramWithWindowsWritesOnlyToTheUserDataFolder) {
  const auto before = Snapshot(Program());
  const std::string key = "kw-dist-" + std::to_string(::getpid());
  const fs::path picture = Program() / "Script" / "Samples" / "Flower.bmp";
  // Started with a picture; once it listens for second starts, ended the
  // way a session ends it.
  Result r = Sh("export KW_INSTANCE_KEY=" + key + "\n" + Varoka() + " '" + picture.string() + "' & pid=$!\n"
                "for i in $(seq 300); do\n"
                "  ls /run/user/$(id -u)/varoka/" + key + "-*.sock /tmp/varoka-$(id -u)/" + key +
                "-*.sock 2>/dev/null | grep -q . && break; sleep 0.1\n"
                "done\n"
                "sleep 1; kill -TERM $pid; wait $pid\n");
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_NE(ReadAll(UserData() / "Resume" / "Resume.ini").find("Title=Flower.bmp"), std::string::npos)
      << r.err;
  EXPECT_TRUE(fs::exists(UserData() / "Resume" / "0000.bmp"));
  EXPECT_TRUE(fs::exists(UserData() / "KW.ini"));
  EXPECT_TRUE(fs::exists(UserData() / "ProcLib" / "KWPrcLib.ini"));
  EXPECT_EQ(Snapshot(Program()), before);
}

// Eight runs at once on distinct pictures, in the copied program folder and
// in the installed one: the same bytes as one run after another.  Each run
// swaps its history to disk (DiskUndo 1) and reads it back (UNDO), so runs
// that shared swap files would spoil each other's second picture.
TEST_F(Installed, ManyRunsAtOnceGiveTheBytesOfOneRunAfterAnother) {
  const fs::path work = Root() / "batch";
  fs::create_directories(work / "in");
  const int kRuns = 8;
  for (int i = 0; i < kRuns; ++i) {
    const std::string size = std::to_string(160 + 7 * i) + "x" + std::to_string(120 + 5 * i);
    ASSERT_EQ(Sh("/usr/bin/convert -seed " + std::to_string(i + 1) + " -size " + size +
                 " plasma:fractal in/p" + std::to_string(i) + ".png", work).code, 0);
  }
  std::ofstream(work / "five.kws", std::ios::binary)
      << "STRING IN\nSTRING OUT\nSTRING OUT2\nIMAGE A\nGETARGUMENT IN 1\nGETARGUMENT OUT 2\n"
         "GETARGUMENT OUT2 3\nOPEN A IN\n"
         "= KWRGB.RED 1.2\nEXECFILTER KWRGB A\n= GAMMA.GAMMA 1.4\nEXECFILTER Gamma A\n"
         "= MASK.OPERATION 4\nEXECFILTER Mask A\nEXECFILTER Median A\n= AXISOPERATE.OPERATE 2\n"
         "EXECFILTER AxisOperate A\nSAVE A OUT\nUNDO A\nUNDO A\nUNDO A\nUNDO A\nSAVE A OUT2\n";
  const std::string settings = "[Option]\nDiskUndo=1\nUndoLimit=10\n";
  fs::create_directories(UserData());
  std::ofstream(UserData() / "KW.ini", std::ios::binary) << settings;
  std::ofstream(Copy() / "KW.ini", std::ios::binary) << settings;
  const auto installedBefore = Snapshot(Program());

  for (const std::string& kw : {CopyKW(), Varoka()}) {
    auto command = [&](int i, const std::string& tag) {
      const std::string n = std::to_string(i);
      return kw + " --run five.kws in/p" + n + ".png out/" + tag + n + ".png out/" + tag + n + "-undo.bmp";
    };
    fs::remove_all(work / "out");
    fs::create_directories(work / "out");
    std::string sequential, together;
    for (int i = 0; i < kRuns; ++i) sequential += command(i, "seq") + " || exit 1\n";
    for (int i = 0; i < kRuns; ++i) together += command(i, "par") + " & pids=\"$pids $!\"\n";
    together += "for p in $pids; do wait $p || exit 1; done\n";
    Result one = Sh(sequential, work);
    ASSERT_EQ(one.code, 0) << one.err;
    Result all = Sh(together, work);
    ASSERT_EQ(all.code, 0) << all.err;
    for (int i = 0; i < kRuns; ++i) {
      const std::string n = std::to_string(i);
      for (const char* suffix : {".png", "-undo.bmp"}) {
        const std::string a = ReadAll(work / "out" / ("seq" + n + suffix));
        EXPECT_FALSE(a.empty());
        EXPECT_EQ(a, ReadAll(work / "out" / ("par" + n + suffix))) << kw << " run " << n << suffix;
      }
    }
    // No swap folder is left behind and no settings were written.
    EXPECT_TRUE(fs::is_empty(Root() / "tmp"));
    EXPECT_EQ(ReadAll(Copy() / "KW.ini"), settings);
    EXPECT_EQ(ReadAll(UserData() / "KW.ini"), settings);
    EXPECT_FALSE(fs::exists(Copy() / "ProcLib" / "KWPrcLib.ini"));
    EXPECT_FALSE(fs::exists(UserData() / "ProcLib"));
    EXPECT_FALSE(fs::exists(Copy() / "UndoData"));
    EXPECT_FALSE(fs::exists(UserData() / "UndoData"));
  }
  // The rotation really ran: outputs are turned a quarter.
  EXPECT_EQ(PngSize(work / "out" / "par7.png"), std::make_pair(120 + 35, 160 + 49));
  EXPECT_EQ(Snapshot(Program()), installedBefore);
}

}  // namespace
