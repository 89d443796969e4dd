// The built package loaded as the program loads it: its filters and their
// parameters, in the form of the program's processor listing.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "platform/sysutils.h"
#include "procdef/kwinfo.h"

namespace fs = std::filesystem;

TEST(Package, ListsTheSevenFiltersAsRegistered) {
  const char* bin = std::getenv("KW_BIN_DIR");
  if (!bin) bin = KW_BIN_DIR_DEFAULT;
  fs::path dir = fs::temp_directory_path() / ("kwpkg_" + std::to_string(::getpid()));
  fs::create_directories(dir / "ProcLib");
  SetExecutableDir(dir.string() + "/");
  std::vector<TFilterInfo*> filters;
  KWSetRegistReceivers([&](TFilterInfo* i) { filters.push_back(i); }, nullptr, nullptr);

  void* h = dlopen((std::string(bin) + "/ProcLib/KWPrcLib.so").c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(h, nullptr) << dlerror();
  auto init = reinterpret_cast<TKWPackageEntry>(dlsym(h, KW_PACKAGE_INIT_SYMBOL));
  auto done = reinterpret_cast<TKWPackageEntry>(dlsym(h, KW_PACKAGE_DONE_SYMBOL));
  ASSERT_TRUE(init && done);
  init();

  static const char* const kTypes[] = {"boolean", "integer", "single", "double", "string"};
  std::ostringstream out;
  for (TFilterInfo* f : filters) {
    out << "filter\t" << f->Name << "\t" << f->Filter->Caption << "\n";
    TStringList* p = f->Filter->GetParams(nullptr);
    for (int i = 0; i < p->Count(); ++i)
      out << "\t" << p->Strings(i) << "\t" << kTypes[int(p->ObjectAs<TKWParameter>(i)->ParamType)] << "\n";
  }
  EXPECT_EQ(out.str(),
            "filter\tNegativeColor\tネガポジ反転\n"
            "filter\tGrayScale\tグレースケール\n"
            "filter\tBinClr\t2値化\n"
            "\tTh_Mode\tinteger\n\tThreshold\tinteger\n"
            "filter\tKWRGB\tRGB変調\n"
            "\tRed\tsingle\n\tGreen\tsingle\n\tBlue\tsingle\n"
            "filter\tSelector\t原色操作\n"
            "\tSourceR\tinteger\n\tSourceG\tinteger\n\tSourceB\tinteger\n"
            "\tValueR\tinteger\n\tValurG\tinteger\n\tValueB\tinteger\n"
            "filter\tHistFlat\tヒストグラム平坦化\n"
            "\tMethod\tinteger\n"
            "filter\tGamma\tガンマ補正\n"
            "\tGamma\tsingle\n\tColor\tboolean\n\tGammaR\tsingle\n\tGammaG\tsingle\n\tGammaB\tsingle\n"
            "\tAutoGamma\tboolean\n\tUseToneFile\tboolean\n\tToneFileName\tstring\n");
  done();
  dlclose(h);
  KWSetRegistReceivers(nullptr, nullptr, nullptr);
  EXPECT_TRUE(fs::exists(dir / "ProcLib" / "KWPrcLib.ini"));
  fs::remove_all(dir);
}
