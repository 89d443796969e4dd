// Shared pieces of the document tests: the application object, small images,
// a test filter, and answering message boxes and file dialogs.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>

#include <deque>
#include <string>
#include <vector>

#include "document/kwdialogs.h"
#include "document/kwpaths.h"
#include "image/kwbitmap.h"
#include "image/kwimage.h"
#include "platform/sysutils.h"
#include "ui/messages.h"

class QtEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    if (!QApplication::instance()) {
      static int argc = 1;
      static char arg0[] = "document_tests";
      static char* argv[] = {arg0, nullptr};
      new QApplication(argc, argv);
    }
  }
};

// A filter that inverts B, G, R and keeps A; counts its runs.
class TInvertFilter : public TKWBasicFilter {
 public:
  TInvertFilter() {
    Name = "TestInvert";
    Caption = "反転テスト";
  }
  int Runs = 0;
  bool Fail = false;
  int UpdateParamCalls = 0;
  void UpdateParam() override { ++UpdateParamCalls; }
  void Filter(TBitmap* Src, TBitmap* Dst) override {
    ++Runs;
    if (Fail) throw Exception("テストフィルタの失敗");
    for (int y = 0; y < Src->Height() && y < Dst->Height(); ++y)
      for (int x = 0; x < Src->Width() && x < Dst->Width(); ++x)
        Dst->Row32(y)[x] = Src->Row32(y)[x] ^ 0x00FFFFFFu;
  }
};

// A filter that doubles the width (a resizing filter).
class TWidenFilter : public TKWBasicFilter {
 public:
  TWidenFilter() {
    Name = "TestWiden";
    Caption = "拡幅テスト";
  }
  void InitSize(TSize& s) override { s.cx *= 2; }
  void Filter(TBitmap* Src, TBitmap* Dst) override {
    for (int y = 0; y < Dst->Height(); ++y)
      for (int x = 0; x < Dst->Width(); ++x)
        Dst->Row32(y)[x] = Src->Row32(y % Src->Height())[x % Src->Width()];
  }
};

// w x h 32-bit bitmap with pixel (x, y) = seed-derived colour, A = alpha.
inline void FillPattern(TBitmap& b, int w, int h, uint32_t seed, uint8_t alpha = 0) {
  b.SetPixelFormat(pf32bit);
  b.SetSize(w, h);
  uint32_t s = seed * 2654435761u + 1;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      s = s * 1664525u + 1013904223u;
      b.Row32(y)[x] = (s >> 8 & 0x00FFFFFFu) | (uint32_t(alpha) << 24);
    }
}

// Writes a pattern BMP (24-bit) to path.
inline void WritePatternBmp(const std::string& path, int w, int h, uint32_t seed) {
  TBitmap b;
  FillPattern(b, w, h, seed);
  b.SetPixelFormat(pf24bit);
  b.SaveToFile(path);
}

// The script lines of the generic entries of a log ("" for processor packs).
inline std::vector<std::string> LogLines(const TKWLog& log) {
  std::vector<std::string> out;
  for (const auto& p : log) {
    auto* g = dynamic_cast<TKWGenericParamPack*>(p.get());
    out.push_back(g ? g->LogText : std::string());
  }
  return out;
}

// Answers message boxes from a queue and records what they said.
struct MessageRecorder {
  std::deque<TMsgResult> answers;
  std::vector<std::pair<TMsgKind, std::string>> shown;
  TMessageHandler old;
  MessageRecorder() {
    old = SetMessageHandler([this](TMsgKind k, const std::string&, const std::string& text, bool) {
      shown.emplace_back(k, text);
      if (answers.empty()) return TMsgResult::Ok;
      TMsgResult r = answers.front();
      answers.pop_front();
      return r;
    });
  }
  ~MessageRecorder() { SetMessageHandler(old); }
};

// Answers file dialogs from a queue of names ("" = Cancel).
struct DialogAnswers {
  std::deque<QString> names;
  std::vector<QString> titles;
  DialogAnswers() {
    TKWFileDialog::Hook = [this](TKWFileDialog& d) {
      titles.push_back(d.Title);
      if (names.empty()) return false;
      QString n = names.front();
      names.pop_front();
      if (n.isEmpty()) return false;
      d.Files = QStringList{n};
      return true;
    };
  }
  ~DialogAnswers() { TKWFileDialog::Hook = nullptr; }
};

// A fresh data folder (settings, resume, swap files) per test.
struct TempDataDir {
  QTemporaryDir dir;
  TempDataDir() {
    SetKWDataDir(dir.path().toStdString());
    SetUndoDataDir(dir.path().toStdString() + "/UndoData/");
  }
  ~TempDataDir() {
    SetKWDataDir("");
    SetUndoDataDir("");
  }
  std::string path(const std::string& name) const { return dir.path().toStdString() + "/" + name; }
};
