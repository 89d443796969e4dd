// A processor package built only for the tests.  It registers a filter
// twice under the same name, a mixer, a generator and a filter record of
// another interface version; every step is appended to the file named by
// KW_TESTPKG_LOG so that the tests can see loading and unloading.
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include <QAction>
#include <QPointer>
#include <QWidget>

#include "platform/canvas.h"
#include "procdef/kwinfo.h"
#include "ui/docking.h"

#ifndef TESTPKG_TAG
#define TESTPKG_TAG "A"
#endif

namespace {

void logLine(const std::string& s) {
  if (const char* f = std::getenv("KW_TESTPKG_LOG")) {
    if (FILE* fp = std::fopen(f, "a")) {
      std::fprintf(fp, "%s %s\n", TESTPKG_TAG, s.c_str());
      std::fclose(fp);
    }
  }
}

struct TInvertPack : TKWParamPack {
  using TKWParamPack::TKWParamPack;
  int32_t Level = 7;
  float Scale = 0.5f;
};
TInvertPack gInvert;

class TTestInvert : public TKWBasicFilter {
 public:
  void MakeList() override {
    AddParam("Level", TKWParamType::ptInteger, &gInvert.Level);
    AddParam("Scale_Factor", TKWParamType::ptSingle, &gInvert.Scale);
  }
  void Filter(TBitmap* src, TBitmap* dst) override {
    dst->SetPixelFormat(pf32bit);
    dst->SetSize(src->Width(), src->Height());
    for (int y = 0; y < src->Height(); ++y) {
      const uint32_t* s = src->Row32(y);
      uint32_t* d = dst->Row32(y);
      for (int x = 0; x < src->Width(); ++x) d[x] = s[x] ^ 0x00FFFFFFu;
      if (y % 32 == 31) Progress(float(y + 1) / float(src->Height()));
    }
  }
};

class TTestMix : public TKWBasicMixer {
 public:
  void Mixer(TBitmap* bg, TBitmap*, TBitmap* dst, const TPoint& o) override {
    dst->Canvas().Draw(o.X, o.Y, *bg);
  }
};

class TTestGen : public TKWBasicGenerator {
 public:
  void MakeList() override {}
  void Generator(TBitmap* b) override {
    b->Canvas().Brush.Color = RGBColor(1, 2, 3);
    b->Canvas().FillRect(TRect{0, 0, b->Width(), b->Height()});
  }
};

// A panel: a widget with one menu action.
struct Panel {
  QPointer<QWidget> form;
  TActionList actions;
  explicit Panel(const std::string& caption) : form(new QWidget) {
    form->setWindowTitle(QString::fromStdString(caption));
    auto* a = new QAction(QString::fromStdString(caption), form.data());
    actions.push_back(a);
  }
  ~Panel() { delete form.data(); }
  void dock(QWidget* site) { KWDockInto(form.data(), site); }
};

struct Unit {
  std::unique_ptr<TKWProcessor> processor;
  std::unique_ptr<Panel> panel;
  std::unique_ptr<TFilterInfo> filter;
  std::unique_ptr<TMixerInfo> mixer;
  std::unique_ptr<TGeneratorInfo> generator;
};
std::vector<std::unique_ptr<Unit>> gUnits;

template <class P>
Unit& newUnit(const std::string& name, const std::string& caption) {
  auto u = std::make_unique<Unit>();
  u->processor = TKWProcessor::Create<P>();
  u->processor->Name = name;
  u->processor->Caption = caption;
  u->panel = std::make_unique<Panel>(caption);
  gUnits.push_back(std::move(u));
  return *gUnits.back();
}

void addFilter(const std::string& name, const std::string& caption, int version) {
  Unit& u = newUnit<TTestInvert>(name, caption);
  u.filter = std::make_unique<TFilterInfo>();
  u.filter->Name = name;
  u.filter->Filter = static_cast<TKWBasicFilter*>(u.processor.get());
  u.filter->Panel = u.panel->form.data();
  u.filter->ActionList = &u.panel->actions;
  Panel* p = u.panel.get();
  u.filter->Regist = [p](QWidget* site, const TFilterActiveProc&, const TNotifyEvent&) { p->dock(site); };
  u.filter->Version = version;
  logLine("register " + name);
  KWRegistFilter(u.filter.get());
}

}  // namespace

extern "C" __attribute__((visibility("default"))) void KWPackageInitialize() {
  IsLoadComplete = false;
  logLine("init");
  addFilter("TestInvert", std::string("テスト反転") + TESTPKG_TAG, 2000);
  addFilter("testinvert", "second", 2000);

  Unit& m = newUnit<TTestMix>("TestMix", "テスト合成");
  m.mixer = std::make_unique<TMixerInfo>();
  m.mixer->Name = "TestMix";
  m.mixer->Mixer = static_cast<TKWBasicMixer*>(m.processor.get());
  m.mixer->Panel = m.panel->form.data();
  m.mixer->ActionList = nullptr;  // filed and docked without menu items
  Panel* mp = m.panel.get();
  m.mixer->Regist = [mp](QWidget* site, const TMixerActiveProc&, const TNotifyEvent&) { mp->dock(site); };
  KWRegistMixer(m.mixer.get());

  Unit& g = newUnit<TTestGen>("TestGen", "テスト生成");
  g.generator = std::make_unique<TGeneratorInfo>();
  g.generator->Name = "TestGen";
  g.generator->Generator = static_cast<TKWBasicGenerator*>(g.processor.get());
  g.generator->Panel = g.panel->form.data();
  g.generator->ActionList = &g.panel->actions;
  // No Regist: filed with menu items, never docked.
  KWRegistGenerator(g.generator.get());

  addFilter("TestV2001", "新しい版", 2001);
  IsLoadComplete = true;
}

extern "C" __attribute__((visibility("default"))) void KWPackageFinalize() {
  logLine("done");
  gUnits.clear();
}
