// The built package loaded as the program loads it: its filters and their
// parameters, in the form of the program's processor listing.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
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
  // One block per filter; the units built so far register these (others
  // may join between them), each block in table order.
  std::vector<std::string> blocks;
  const std::string text = out.str();
  for (size_t from = 0; from < text.size();) {
    size_t next = text.find("filter\t", from + 1);
    if (next == std::string::npos) next = text.size();
    blocks.push_back(text.substr(from, next - from));
    from = next;
  }
  std::string mask = "filter\tMask\t近傍マスク\n\tRange\tinteger\n\tOperation\tinteger\n"
                     "\tAddValue\tsingle\n\tDivValue\tsingle\n";
  for (int r = 1; r <= 5; ++r)
    for (int c = 1; c <= 5; ++c) mask += "\tMask" + std::to_string(r) + std::to_string(c) + "\tsingle\n";
  mask += "\tSpray\tboolean\n\tSpryPower\tinteger\n";
  const std::vector<std::string> expected = {
      "filter\tNegativeColor\tネガポジ反転\n",
      "filter\tGrayScale\tグレースケール\n",
      mask,
      "filter\tMedian\tメディアン\n\tRange\tinteger\n",
      "filter\tMinMax\t最大最小\n\tMinMax\tinteger\n\tRange\tinteger\n",
      "filter\tBinClr\t2値化\n"
      "\tTh_Mode\tinteger\n\tThreshold\tinteger\n",
      "filter\tKWRGB\tRGB変調\n"
      "\tRed\tsingle\n\tGreen\tsingle\n\tBlue\tsingle\n",
      "filter\tSelector\t原色操作\n"
      "\tSourceR\tinteger\n\tSourceG\tinteger\n\tSourceB\tinteger\n"
      "\tValueR\tinteger\n\tValurG\tinteger\n\tValueB\tinteger\n",
      "filter\tHistFlat\tヒストグラム平坦化\n"
      "\tMethod\tinteger\n",
      "filter\tResize\tサイズ変更\n\tWidth\tinteger\n\tHeight\tinteger\n\tOffsetX\tinteger\n"
      "\tOffsetY\tinteger\n\tMethod\tinteger\n",
      "filter\tAxisOperate\txy軸操作\n\tOperate\tinteger\n",
      "filter\tAffine\tアフィン変換\n\tZoomRate\tsingle\n\tRotateAngle\tsingle\n\tSlashX\tsingle\n"
      "\tSlashY\tsingle\n\tMoveX\tinteger\n\tMoveY\tinteger\n\tOriginX\tsingle\n\tOriginY\tsingle\n"
      "\tExecZoom\tboolean\n\tExecRotate\tboolean\n\tExecSlash\tboolean\n\tExecMove\tboolean\n",
      "filter\tGamma\tガンマ補正\n"
      "\tGamma\tsingle\n\tColor\tboolean\n\tGammaR\tsingle\n\tGammaG\tsingle\n\tGammaB\tsingle\n"
      "\tAutoGamma\tboolean\n\tUseToneFile\tboolean\n\tToneFileName\tstring\n"};
  size_t at = 0;
  for (const auto& e : expected) {
    auto it = std::find(blocks.begin() + std::min(at, blocks.size()), blocks.end(), e);
    EXPECT_NE(it, blocks.end()) << "missing or out of order:\n" << e;
    if (it != blocks.end()) at = size_t(it - blocks.begin()) + 1;
  }
  done();
  dlclose(h);
  KWSetRegistReceivers(nullptr, nullptr, nullptr);
  EXPECT_TRUE(fs::exists(dir / "ProcLib" / "KWPrcLib.ini"));
  fs::remove_all(dir);
}
