#include "imageio/spi.h"

#include <dlfcn.h>
#include <malloc.h>
#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <istream>
#include <iterator>

#include "imageio/fileio.h"
#include "platform/sysutils.h"
#include "procdef/kwmessages.h"

namespace {

std::string Upper(std::string s) {
  for (char& c : s) c = char(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

std::string Trim(const std::string& s) {
  size_t b = s.find_first_not_of(" \t");
  if (b == std::string::npos) return {};
  size_t e = s.find_last_not_of(" \t");
  return s.substr(b, e - b + 1);
}

std::vector<std::string> SplitPatterns(const std::string& filter) {
  std::vector<std::string> out;
  size_t start = 0;
  for (;;) {
    size_t p = filter.find(';', start);
    std::string part = Trim(filter.substr(start, p == std::string::npos ? std::string::npos : p - start));
    if (!part.empty()) out.push_back(part);
    if (p == std::string::npos) break;
    start = p + 1;
  }
  return out;
}

std::string RealPath(const std::string& path) {
  char* r = ::realpath(path.c_str(), nullptr);
  if (!r) return path;
  std::string s(r);
  std::free(r);
  return s;
}

std::string WithSlash(std::string dir) {
  if (!dir.empty() && dir.back() != '/') dir += '/';
  return dir;
}

// Context of the GetPicture call in progress on this thread: the progress
// callback reaches the bitmap through it (the plug-in is handed 0 as its
// callback data, so a plug-in can never hand us a bad pointer back).
struct PictureCall {
  TSPIBitmap* bitmap = nullptr;
  std::exception_ptr error;
};
thread_local PictureCall* t_call = nullptr;

int ProgressCallback(int num, int denom, intptr_t) {
  PictureCall* call = t_call;
  if (!call || !call->bitmap || !call->bitmap->OnProgress || call->error) return call && call->error ? 1 : 0;
  if (denom <= 0) return 0;
  // num x 98 / denom + 1, multiplied in 64 bits so that no product overflows.
  int64_t n = std::clamp<int64_t>(num, 0, denom);
  int percent = int(n * 98 / denom) + 1;
  try {
    call->bitmap->OnProgress(TSPIProgressStage::psRunning, percent);
  } catch (...) {
    // Never let an exception run through the plug-in's frames: abort the
    // plug-in and raise once it has returned.
    call->error = std::current_exception();
    return 1;
  }
  return 0;
}

// Frees a plug-in's memory handle on every path.
struct MallocBlock {
  void* p = nullptr;
  ~MallocBlock() { std::free(p); }
  size_t Size() const { return p ? ::malloc_usable_size(p) : 0; }
};

}  // namespace

// ---------------------------------------------------------------------------
// Exceptions

ESPIDupCreateSPIs::ESPIDupCreateSPIs() : ESPIException("TSPIs は複数生成できません") {}

// ---------------------------------------------------------------------------
// TSPI

TSPI::TSPI(const std::string& path) {
  Handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!Handle) throw ESPIFOpenErrorSPI(path + ":Susie Pluginがロードできませんでした");
  try {
    FileName = RealPath(path);
    auto sym = [this](const char* name) { return ::dlsym(Handle, name); };
    GetPluginInfo = reinterpret_cast<SPIGetPluginInfoFunc>(sym("GetPluginInfo"));
    IsSupported = reinterpret_cast<SPIIsSupportedFunc>(sym("IsSupported"));
    GetPictureInfo = reinterpret_cast<SPIGetPictureInfoFunc>(sym("GetPictureInfo"));
    GetPicture = reinterpret_cast<SPIGetPictureFunc>(sym("GetPicture"));
    GetPreview = reinterpret_cast<SPIGetPreviewFunc>(sym("GetPreview"));
    GetArchiveInfo = reinterpret_cast<SPIGetArchiveInfoFunc>(sym("GetArchiveInfo"));
    GetFileInfo = reinterpret_cast<SPIGetFileInfoFunc>(sym("GetFileInfo"));
    GetFile = reinterpret_cast<SPIGetFileFunc>(sym("GetFile"));
    ConfigurationDlg = reinterpret_cast<SPIConfigurationDlgFunc>(sym("ConfigurationDlg"));
    if (GetPluginInfo) {
      // A 256-byte buffer with limit 255, plus a guard zone so that a plug-in
      // that writes more than it was allowed is caught, not trusted.
      auto info = [this](int n, std::string& text) {
        char buf[256 + 64];
        std::memset(buf, 0, sizeof buf);
        int len = GetPluginInfo(n, buf, 255);
        if (len < 1) return false;
        bool guardTouched = std::any_of(buf + 256, buf + sizeof buf, [](char c) { return c != 0; });
        if (len > 255 || guardTouched)
          throw ESPIInvalidSPI(FileName + ": プラグインの情報が長すぎます");
        text.assign(buf, strnlen(buf, size_t(len)));
        return true;
      };
      info(0, APIVersion);
      info(1, Description);
      // Pairs of extension filter and format name, until either is missing.
      // A plug-in that never stops answering is cut off at a generous count.
      for (int n = 2; n < 2 + 2 * 1024; n += 2) {
        std::string ext, name;
        if (!info(n, ext) || !info(n + 1, name)) break;
        Extensions.push_back(ext);
        FormatNames.push_back(name);
      }
    }
  } catch (...) {
    ::dlclose(Handle);
    Handle = nullptr;
    throw;
  }
}

TSPI::~TSPI() {
  if (Handle) ::dlclose(Handle);
}

void TSPI::Require(const void* fn, const char* name) const {
  if (!fn) throw ESPIInvalidAPI(std::string(name) + "は[" + FileName + "]では使えないSusie Plugin APIです");
}

bool TSPI::HandlesExtension(const std::string& ext) const {
  std::string e = ext;
  if (!e.empty() && e[0] == '.') e.erase(0, 1);
  if (e.empty()) return false;
  const std::string probe = "x." + e;
  for (const std::string& filter : Extensions)
    for (const std::string& pattern : SplitPatterns(filter))
      if (MatchesMask(probe, pattern)) return true;
  return false;
}

TLoaderSPI::TLoaderSPI(const std::string& path) : TSPI(path) {
  Require(reinterpret_cast<const void*>(GetPluginInfo), "GetPluginInfo");
  Require(reinterpret_cast<const void*>(IsSupported), "IsSupported");
}

TInSPI::TInSPI(const std::string& path) : TLoaderSPI(path) {
  Require(reinterpret_cast<const void*>(GetPictureInfo), "GetPictureInfo");
  Require(reinterpret_cast<const void*>(GetPicture), "GetPicture");
  CanLoadImages = true;
}

TAmSPI::TAmSPI(const std::string& path) : TLoaderSPI(path) {
  Require(reinterpret_cast<const void*>(GetArchiveInfo), "GetArchiveInfo");
  Require(reinterpret_cast<const void*>(GetFileInfo), "GetFileInfo");
  Require(reinterpret_cast<const void*>(GetFile), "GetFile");
  CanLoadImages = true;
}

TXnSPI::TXnSPI(const std::string& path) : TSPI(path) {
  Require(reinterpret_cast<const void*>(GetPluginInfo), "GetPluginInfo");
}

// ---------------------------------------------------------------------------
// TSPIs

TSPIs::TSPIs(TSPISearchOptions options, bool autoLoad) : SearchOptions(options), AutoLoad(autoLoad) {
  if (KWImagePlugins()) throw ESPIDupCreateSPIs();
  KWSetImagePlugins(this);
  if (AutoLoad) {
    try {
      Search("*.spi");
    } catch (...) {
      KWSetImagePlugins(nullptr);
      throw;
    }
  }
}

TSPIs::~TSPIs() {
  if (KWImagePlugins() == this) KWSetImagePlugins(nullptr);
}

TSPIs* TSPIs::Instance() { return KWImagePlugins(); }

std::string TSPIs::UserPluginDir() {
  std::string base;
  const char* xdg = std::getenv("XDG_DATA_HOME");
  if (xdg && xdg[0] == '/') {
    base = xdg;
  } else {
    const char* home = std::getenv("HOME");
    std::string h = home && home[0] ? home : "";
    if (h.empty()) {
      if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) h = pw->pw_dir;
    }
    if (h.empty()) return {};
    base = WithSlash(h) + ".local/share";
  }
  return WithSlash(base) + "Varoka/Plugins/";
}

std::string TSPIs::FolderFor(TSPISearchOption option) {
  switch (option) {
    case spsSusieDir:
      return UserPluginDir();
    case spsAppDir:
      return WithSlash(ExecutableDir());
    case spsCurrentDir: {
      char buf[PATH_MAX];
      return ::getcwd(buf, sizeof buf) ? WithSlash(buf) : std::string();
    }
    case spsSystemDir:
      return "/usr/lib/Varoka/Plugins/";
    case spsWindowsDir:
      return "/usr/local/lib/Varoka/Plugins/";
  }
  return {};
}

std::unique_ptr<TSPI> TSPIs::LoadPlugin(const std::string& path) {
  std::string version;
  try {
    TSPI probe(path);
    version = probe.APIVersion.substr(0, 4);
  } catch (const ESPIFOpenErrorSPI& e) {
    errors_.push_back(e.Message());
    return nullptr;
  } catch (const ESPIInvalidSPI& e) {
    errors_.push_back(e.Message());
    return nullptr;
  }
  try {
    if (version == "00IN") return std::make_unique<TInSPI>(path);
    if (version == "00AM") return std::make_unique<TAmSPI>(path);
    if (version == "00XN") return std::make_unique<TXnSPI>(path);
    return std::make_unique<TSPI>(path);
  } catch (const ESPIFOpenErrorSPI& e) {
    errors_.push_back(e.Message());
  } catch (const ESPIInvalidSPI& e) {
    errors_.push_back(e.Message());
  }
  return nullptr;
}

void TSPIs::Add(std::unique_ptr<TSPI> spi) {
  if (!spi) return;
  if (dynamic_cast<TInSPI*>(spi.get())) {
    for (size_t i = 0; i < spi->Extensions.size(); ++i) {
      for (const std::string& pattern : SplitPatterns(spi->Extensions[i])) {
        size_t dot = pattern.rfind('.');
        std::string ext = dot == std::string::npos ? pattern : pattern.substr(dot + 1);
        if (ext.empty() || ext == "*") continue;
        formats_.push_back({ext, i < spi->FormatNames.size() ? spi->FormatNames[i] : std::string()});
      }
    }
  }
  list_.push_back(std::move(spi));
}

void TSPIs::Search(const std::string& mask) {
  std::vector<std::pair<std::string, std::string>> places;  // folder, file mask
  if (mask.find('/') != std::string::npos) {
    places.emplace_back(ExtractFilePath(mask), ExtractFileName(mask));
  } else {
    for (TSPISearchOption o : {spsSusieDir, spsAppDir, spsCurrentDir, spsSystemDir, spsWindowsDir})
      if (SearchOptions & o) places.emplace_back(FolderFor(o), mask);
  }
  for (const auto& [folder, fileMask] : places) {
    if (folder.empty() || !DirectoryExists(folder)) continue;
    std::vector<std::string> found;
    for (const TSearchRec& rec : FindFiles(folder + fileMask)) {
      if (rec.Directory) continue;
      std::string full = RealPath(folder + rec.Name);
      bool loaded = std::any_of(list_.begin(), list_.end(),
                                [&](const std::unique_ptr<TSPI>& s) { return s->FileName == full; });
      if (!loaded && std::find(found.begin(), found.end(), full) == found.end()) found.push_back(full);
    }
    for (const std::string& path : found) {
      // The same file may have been reached through another name meanwhile.
      if (std::any_of(list_.begin(), list_.end(),
                      [&](const std::unique_ptr<TSPI>& s) { return s->FileName == path; }))
        continue;
      try {
        Add(LoadPlugin(path));
      } catch (const ESPIInvalidAPI& e) {
        // One unusable plug-in does not stop the program from starting.
        errors_.push_back(e.Message());
      }
    }
  }
}

// ---------------------------------------------------------------------------
// Taking over a plug-in's picture

void TakeOverDIB(const uint8_t* info, size_t infoSize, const uint8_t* bits, size_t bitsSize,
                 TBitmap& out, bool to32, int* fileBits) {
  auto bad = [](const std::string& why) -> EInvalidGraphic {
    return EInvalidGraphic("プラグインが返した画像が正しくありません（" + why + "）");
  };
  if (!info || !bits) throw bad("画像のメモリがありません");
  if (infoSize < sizeof(SPIBitmapInfoHeader)) throw bad("ヘッダーが短すぎます");
  SPIBitmapInfoHeader h;
  std::memcpy(&h, info, sizeof h);
  if (h.biSize < sizeof h || h.biSize > infoSize) throw bad("ヘッダーの大きさが不正です");
  const int bpp = h.biBitCount;
  if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 24 && bpp != 32)
    throw bad("画素のビット数 " + std::to_string(bpp) + " は扱えません");
  if (h.biCompression != 0) throw bad("圧縮された画素は扱えません");
  if (h.biWidth <= 0 || h.biHeight == 0 || h.biHeight == INT32_MIN) throw bad("幅または高さが不正です");
  const int64_t width = h.biWidth;
  const int64_t height = h.biHeight < 0 ? -int64_t(h.biHeight) : int64_t(h.biHeight);
  CheckImageSize(width, height);
  uint32_t entries = h.biClrUsed;
  if (entries == 0) entries = bpp == 1 ? 2 : bpp == 4 ? 16 : bpp == 8 ? 256 : 0;
  if (entries > 256 || (bpp <= 8 && entries > (1u << bpp))) throw bad("色数が不正です");
  const size_t tableBytes = size_t(entries) * 4;
  if (infoSize - h.biSize < tableBytes) throw bad("色表がヘッダーのメモリを越えています");
  const uint64_t rowBytes = uint64_t((width * bpp + 31) / 32) * 4;
  const uint64_t imageSize = rowBytes * uint64_t(height);
  if (imageSize > bitsSize) throw bad("画素のメモリが画像の大きさに足りません");
  const size_t headerSize = sizeof h + tableBytes;
  // The file's headers; the pixels follow from the plug-in's own block.
  std::vector<uint8_t> file(14 + headerSize);
  const uint64_t fileSize = file.size() + imageSize;
  auto put16 = [&](size_t at, uint16_t v) {
    file[at] = uint8_t(v);
    file[at + 1] = uint8_t(v >> 8);
  };
  auto put32 = [&](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) file[at + size_t(i)] = uint8_t(v >> (8 * i));
  };
  file[0] = 'B';
  file[1] = 'M';
  put32(2, uint32_t(std::min<uint64_t>(fileSize, UINT32_MAX)));
  put16(6, 0);
  put16(8, 0);
  put32(10, uint32_t(14 + headerSize));
  SPIBitmapInfoHeader norm = h;
  norm.biSize = sizeof norm;
  norm.biSizeImage = uint32_t(std::min<uint64_t>(imageSize, UINT32_MAX));
  std::memcpy(file.data() + 14, &norm, sizeof norm);
  if (tableBytes) std::memcpy(file.data() + 14 + sizeof norm, info + h.biSize, tableBytes);
  out.LoadBMPParts(file.data(), file.size(), bits, size_t(imageSize), to32, fileBits);
  if (!to32 && bpp == 4 && entries > 0 && out.PixelFormat() == pf8bit) {
    std::vector<TPaletteEntry> pal(entries);
    for (uint32_t i = 0; i < entries; ++i) {
      const uint8_t* q = info + h.biSize + size_t(i) * 4;
      pal[i] = TPaletteEntry{q[2], q[1], q[0], 0};
    }
    out.SetPalette(pal);
  }
}

// ---------------------------------------------------------------------------
// TInSPIAble

TInSPIAble::TInSPIAble(TSPIBitmap& owner) : owner_(owner) {}

std::vector<TInSPI*> TInSPIAble::Candidates() const {
  std::vector<TInSPI*> first, rest;
  if (owner_.Plugin) return {owner_.Plugin};
  TSPIs* spis = TSPIs::Instance();
  if (!spis) return {};
  for (int i = 0; i < spis->Count(); ++i) {
    auto* in = dynamic_cast<TInSPI*>(spis->Items(i));
    if (!in) continue;
    if (!Extension.empty() && in->HandlesExtension(Extension))
      first.push_back(in);
    else
      rest.push_back(in);
  }
  first.insert(first.end(), rest.begin(), rest.end());
  return first;
}

namespace {
// What a successful read hands to the owner.
struct ReadResult {
  TBitmap bitmap;
  TInSPI* by = nullptr;
  SPIPictureInfo info{};
  std::string comment;
  int bits = 0;               // bits per pixel of the picture as read
  std::string specificError;  // the clearest reason seen when all attempts fail
};
thread_local ReadResult* t_result = nullptr;
}  // namespace

bool TInSPIAble::TryNative(const uint8_t* data, size_t size, TBitmap& out) {
  try {
    int bits = 0;
    out.LoadBMPParts(data, size, nullptr, 0, owner_.Expand32, &bits);
    if (t_result) t_result->bits = bits;
    return true;
  } catch (const Exception& e) {
    // A file that is a BMP by its signature gets the reader's own reason.
    if (t_result && size >= 2 && data[0] == 'B' && data[1] == 'M' && t_result->specificError.empty())
      t_result->specificError = e.Message();
    return false;
  }
}

bool TInSPIAble::TryPlugins(const uint8_t* data, size_t size, TBitmap& out) {
  for (TInSPI* spi : Candidates())
    if (spi && TryPlugin(*spi, data, size, out)) return true;
  return false;
}

bool TInSPIAble::TryPlugin(TInSPI& spi, const uint8_t* data, size_t size, TBitmap& out) {
  auto report = [this](TSPIProgressStage stage, int percent) {
    if (owner_.OnProgress) owner_.OnProgress(stage, percent);
  };
  report(TSPIProgressStage::psStarting, 0);
  struct End {
    std::function<void()> f;
    ~End() {
      try {
        f();
      } catch (...) {
      }
    }
  } end{[&] { report(TSPIProgressStage::psEnding, 100); }};
  if (Offer(spi, data, size, out)) return true;
  if (owner_.SkipPrefix && size > 128) return Offer(spi, data + 128, size - 128, out);
  return false;
}

bool TInSPIAble::Offer(TInSPI& spi, const uint8_t* data, size_t size, TBitmap& out) {
  if (size > size_t(INTPTR_MAX)) return false;
  uint8_t header[2048];
  std::memset(header, 0, sizeof header);
  std::memcpy(header, data, std::min(size, sizeof header));
  if (!spi.IsSupported(FileName.c_str(), header)) return false;

  SPIPictureInfo info{};
  MallocBlock comment;
  int r = spi.GetPictureInfo(reinterpret_cast<const char*>(data), intptr_t(size), SPI_INPUT_MEMORY, &info);
  comment.p = info.hInfo;
  info.hInfo = nullptr;
  if (r != SPI_ALL_RIGHT) return false;
  std::string text;
  if (comment.p) {
    const char* c = static_cast<const char*>(comment.p);
    text.assign(c, strnlen(c, comment.Size()));
  }
  // Refuse a picture too large to hold before the plug-in allocates it.
  if (info.width > 0 && info.height != 0) {
    try {
      CheckImageSize(info.width, info.height < 0 ? -int64_t(info.height) : int64_t(info.height));
    } catch (const Exception& e) {
      if (t_result) t_result->specificError = e.Message();
      return false;
    }
  }

  MallocBlock hInfo, hBits;
  PictureCall call;
  call.bitmap = &owner_;
  PictureCall* saved = t_call;
  t_call = &call;
  r = spi.GetPicture(reinterpret_cast<const char*>(data), intptr_t(size), SPI_INPUT_MEMORY, &hInfo.p,
                     &hBits.p, ProgressCallback, 0);
  t_call = saved;
  if (call.error) std::rethrow_exception(call.error);
  if (r != SPI_ALL_RIGHT || !hInfo.p || !hBits.p) return false;
  try {
    int bits = 0;
    TakeOverDIB(static_cast<const uint8_t*>(hInfo.p), hInfo.Size(), static_cast<const uint8_t*>(hBits.p),
                hBits.Size(), out, owner_.Expand32, &bits);
    if (t_result) t_result->bits = bits;
  } catch (const Exception& e) {
    if (t_result) t_result->specificError = e.Message();
    return false;
  }
  if (t_result) {
    t_result->by = &spi;
    t_result->info = info;
    t_result->comment = std::move(text);
  }
  return true;
}

void TInSPIAble::Load(const uint8_t* data, size_t size) {
  ReadResult result;
  ReadResult* saved = t_result;
  t_result = &result;
  struct Restore {
    ReadResult* saved;
    ~Restore() { t_result = saved; }
  } restore{saved};
  const bool nativeFirst = Extension.empty() || Extension == NativeFormat;
  bool ok = nativeFirst ? (TryNative(data, size, result.bitmap) || TryPlugins(data, size, result.bitmap))
                        : (TryPlugins(data, size, result.bitmap) || TryNative(data, size, result.bitmap));
  if (!ok) {
    if (!result.specificError.empty()) throw EInvalidGraphic(result.specificError);
    throw EInvalidGraphic("認識できない画像形式です");
  }
  owner_.SwapContent(result.bitmap);
  owner_.SourceBits = result.bits;
  owner_.ReadBy = result.by;
  owner_.Info = result.info;
  owner_.Comment = std::move(result.comment);
}

// ---------------------------------------------------------------------------
// TSPIBitmap

TSPIBitmap::TSPIBitmap() : insp_(*this) {}
TSPIBitmap::~TSPIBitmap() = default;

void TSPIBitmap::LoadFromFile(const std::string& fileName) {
  std::string ext = ExtractFileExt(fileName);
  if (!ext.empty() && ext[0] == '.') ext.erase(0, 1);
  ext = Upper(ext);
  if (ext.empty() || ext == TInSPIAble::NativeFormat) {
    try {
      int bits = 0;
      LoadBMPFile(fileName, Expand32, &bits);
      insp_.FileName = fileName;
      insp_.Extension = ext;
      SourceBits = bits;
      ReadBy = nullptr;
      Info = SPIPictureInfo{};
      Comment.clear();
      return;
    } catch (const EInvalidGraphic&) {
      // Not a picture the native reader takes: the plug-ins may know it.
    }
  }
  std::vector<uint8_t> data = kwio::ReadWholeFile(fileName);
  LoadFromMemory(data.data(), data.size(), fileName);
}

void TSPIBitmap::LoadFromStream(std::istream& in) {
  std::vector<uint8_t> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  LoadFromMemory(data.data(), data.size(), "");
}

void TSPIBitmap::LoadFromMemory(const uint8_t* data, size_t size, const std::string& fileName) {
  static const uint8_t empty = 0;
  if (!data) data = &empty, size = 0;
  insp_.FileName = fileName;
  std::string ext = ExtractFileExt(fileName);
  if (!ext.empty() && ext[0] == '.') ext.erase(0, 1);
  insp_.Extension = Upper(ext);
  insp_.Load(data, size);
}
