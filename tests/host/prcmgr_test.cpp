#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QMenu>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "host/generatorbox.h"
#include "host/mixerbox.h"
#include "host/prcmgr.h"
#include "host/procbox.h"
#include "platform/sysutils.h"

namespace fs = std::filesystem;

namespace {

QApplication* app() {
  static int argc = 1;
  static char arg0[] = "host_tests";
  static char* argv[] = {arg0, nullptr};
  if (!QApplication::instance()) new QApplication(argc, argv);
  return qApp;
}

std::string readFile(const fs::path& p) {
  std::ifstream in(p);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

fs::path tempDir(const std::string& name) {
  fs::path d = fs::temp_directory_path() / ("kw_host_" + std::to_string(::getpid())) / name;
  fs::remove_all(d);
  fs::create_directories(d);
  return d;
}

// A manager with menus, boxes, a progress counter and a splash log.
struct Host {
  TKWProcessorManager mgr;
  QMenu filterMenu, mixerMenu, generatorMenu;
  TKWProcBox filterBox{"f", "TFilterBox"};
  TMixerBox mixerBox;
  TGeneratorBox generatorBox;
  std::vector<std::string> splash;
  int progressCalls = 0;
  Host() {
    mgr.Hooks.FilterMenu = &filterMenu;
    mgr.Hooks.MixerMenu = &mixerMenu;
    mgr.Hooks.GeneratorMenu = &generatorMenu;
    mgr.Hooks.AddFilter = [this](TFilterInfo* i) {
      if (!i->Regist) return;
      i->Regist(filterBox.NewPage(), nullptr, nullptr);
      filterBox.UpdatePageNames();
    };
    mgr.Hooks.AddMixer = [this](TMixerInfo* i) { mixerBox.AddMixer(i); };
    mgr.Hooks.AddGenerator = [this](TGeneratorInfo* i) { generatorBox.AddGenerator(i); };
    mgr.Hooks.Progress = [this](TKWProcessor*, TProgressStage, uint8_t, bool, TRect&, const std::string&) {
      ++progressCalls;
    };
    mgr.Hooks.SplashState = [this](const std::string& s) { splash.push_back(s); };
  }
  // Panels belong to the packages: they go before the boxes that hold them.
  ~Host() { mgr.UnloadPackages(); }
};

}  // namespace

class ManagerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    app();
    log_ = tempDir("log") / "pkg.log";
    setenv("KW_TESTPKG_LOG", log_.c_str(), 1);
  }
  fs::path log_;
};

TEST_F(ManagerTest, FilesRecordsInRegistrationOrderWithUpperCasedNames) {
  Host h;
  h.mgr.LoadProcessors(TESTPKG_DIR);
  ASSERT_EQ(h.mgr.PackageFiles().size(), 2u);
  std::string first = h.mgr.PackageFiles()[0];
  std::string tag = first.substr(first.size() - 4, 1);  // testpkgA.so -> A

  // Two filters per package; the version 2001 record is ignored.
  ASSERT_EQ(h.mgr.Filters.Count(), 4);
  EXPECT_EQ(h.mgr.Filters.Strings(0), "TestInvert");  // list keeps the package's spelling
  EXPECT_EQ(h.mgr.Filters.Strings(1), "testinvert");
  EXPECT_EQ(h.mgr.Filters.IndexOf("TestV2001"), -1);
  auto* fi = h.mgr.Filters.ObjectAs<TFilterInfo>(0);
  EXPECT_EQ(fi->Name, "TESTINVERT");
  ASSERT_EQ(fi->Filter->Params.Count(), 2);
  EXPECT_EQ(fi->Filter->Params.Strings(0), "LEVEL");
  EXPECT_EQ(fi->Filter->Params.Strings(1), "SCALE_FACTOR");

  // Lookup without regard to case finds the first registered.
  EXPECT_EQ(h.mgr.FindFilter("tEsTiNvErT"), fi);
  EXPECT_EQ(fi->Filter->Caption, "テスト反転" + tag);
  EXPECT_EQ(h.mgr.FindFilter("TestV2001"), nullptr);
  ASSERT_NE(h.mgr.FindMixer("testmix"), nullptr);
  ASSERT_NE(h.mgr.FindGenerator("TESTGEN"), nullptr);
  EXPECT_EQ(h.mgr.Mixers.Count(), 2);
  EXPECT_EQ(h.mgr.Generators.Count(), 2);

  // Menu items: one per action; the mixer has no action list.
  EXPECT_EQ(h.filterMenu.actions().size(), 4);
  EXPECT_EQ(h.mixerMenu.actions().size(), 0);
  EXPECT_EQ(h.generatorMenu.actions().size(), 2);
  // Pages: every record with Regist is docked; the generator has none.
  EXPECT_EQ(h.filterBox.PageCount(), 4);
  EXPECT_EQ(h.filterBox.PageControl()->tabText(0), QString::fromStdString("テスト反転" + tag));
  EXPECT_EQ(h.mixerBox.PageCount(), 2);
  EXPECT_EQ(h.generatorBox.PageCount(), 0);

  // The splash announces every record, the ignored one included.
  std::vector<std::string> expected = {"Loading TestInvert ...", "Loading testinvert ...",
                                       "Loading TestMix ...", "Loading TestGen ...",
                                       "Loading TestV2001 ..."};
  ASSERT_EQ(h.splash.size(), 10u);
  for (size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(h.splash[i], expected[i]);

  // The progress callback is bound into registered processors.
  TBitmap src, dst;
  src.SetPixelFormat(pf32bit);
  src.SetSize(4, 64);
  fi->Filter->ExecFilter(&src, &dst);
  EXPECT_EQ(h.progressCalls, 4);  // start, two rows of progress, end
  EXPECT_EQ(dst.Row32(0)[0], 0x00FFFFFFu);
}

TEST_F(ManagerTest, UnloadsInLoadOrderAfterFinalizing) {
  std::vector<std::string> files;
  {
    Host h;
    h.mgr.LoadProcessors(TESTPKG_DIR);
    files = h.mgr.PackageFiles();
  }
  ASSERT_EQ(files.size(), 2u);
  std::string a = files[0].substr(files[0].size() - 4, 1);
  std::string b = files[1].substr(files[1].size() - 4, 1);
  std::string log = readFile(log_);
  // Each package initializes and registers before the next is loaded.
  size_t initA = log.find(a + " init"), regA = log.find(a + " register TestV2001"),
         initB = log.find(b + " init"), doneA = log.find(a + " done"), doneB = log.find(b + " done");
  ASSERT_NE(initA, std::string::npos);
  ASSERT_NE(doneB, std::string::npos);
  EXPECT_LT(initA, regA);
  EXPECT_LT(regA, initB);
  EXPECT_LT(initB, doneA);
  EXPECT_LT(doneA, doneB);
}

TEST_F(ManagerTest, EmptyOrMissingFolderLoadsNothing) {
  Host h;
  h.mgr.LoadProcessors(tempDir("empty").string());
  EXPECT_EQ(h.mgr.Filters.Count(), 0);
  h.mgr.LoadProcessors((tempDir("x") / "does-not-exist").string());
  EXPECT_TRUE(h.mgr.PackageFiles().empty());
}

TEST_F(ManagerTest, FileThatIsNoPackageStopsLoadingWithItsNameAndReason) {
  fs::path dir = tempDir("bad");
  std::ofstream(dir / "broken.so") << "this is not a shared library";
  Host h;
  try {
    h.mgr.LoadProcessors(dir.string());
    FAIL() << "no exception";
  } catch (const EPackageError& e) {
    std::string msg = e.what();
    EXPECT_NE(msg.find((dir / "broken.so").string()), std::string::npos) << msg;
    // The loader's reason follows the name on a line of its own.
    size_t nl = msg.find('\n');
    ASSERT_NE(nl, std::string::npos) << msg;
    EXPECT_GT(msg.size(), nl + 1) << msg;
  }
  // A library without the entry point is refused too (an image plug-in: a
  // second copy of the framework library would define its data twice).
  fs::path dir2 = tempDir("noentry");
  fs::copy_file(fs::path(KW_PRCDEF).parent_path() / "ifpnm.spi", dir2 / "plain.so");
  Host h2;
  try {
    h2.mgr.LoadProcessors(dir2.string());
    FAIL() << "no exception";
  } catch (const EPackageError& e) {
    EXPECT_NE(std::string(e.what()).find("KWPackageInitialize"), std::string::npos) << e.what();
  }
  EXPECT_TRUE(h2.mgr.PackageFiles().empty());
}

TEST_F(ManagerTest, KeywordTablesAreUpperCasedAndTheirObjectsFreed) {
  int freed = 0;
  {
    TKWProcessorManager mgr;
    mgr.KeywordDeleter = [&freed](void* p) {
      ++freed;
      delete static_cast<int*>(p);
    };
    mgr.Keywords1.AddObject("Open", new int(1));
    mgr.Keywords2.AddObject("for", new int(2));
    mgr.LoadProcessors(tempDir("kw").string());
    EXPECT_EQ(mgr.Keywords1.Strings(0), "OPEN");
    EXPECT_EQ(mgr.Keywords2.Strings(0), "FOR");
  }
  EXPECT_EQ(freed, 2);
}

TEST_F(ManagerTest, ListTextNamesEveryProcessorAndParameter) {
  Host h;
  h.mgr.LoadProcessors(TESTPKG_DIR);
  std::string text = h.mgr.ListText();
  std::string first = h.mgr.PackageFiles()[0];
  std::string tag = first.substr(first.size() - 4, 1);
  std::string expectedStart = "filter\tTestInvert\tテスト反転" + tag +
                              "\n\tLEVEL\tinteger\n\tSCALE_FACTOR\tsingle\n"
                              "filter\ttestinvert\tsecond\n\tLEVEL\tinteger\n\tSCALE_FACTOR\tsingle\n";
  EXPECT_EQ(text.substr(0, expectedStart.size()), expectedStart);
  EXPECT_NE(text.find("mixer\tTestMix\tテスト合成\n"), std::string::npos);
  EXPECT_NE(text.find("generator\tTestGen\tテスト生成\n"), std::string::npos);
  EXPECT_EQ(text.find("TestV2001"), std::string::npos);
}
