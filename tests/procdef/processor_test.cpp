#include <gtest/gtest.h>

#include <vector>

#include "procdef/kwinfo.h"
#include "procdef/kwproc.h"

namespace {

struct Call {
  TProgressStage stage;
  int percent;
  TRect r;
  std::string msg;
};

// Settings pack and filter the way a package writes them.
struct TTestPack : TKWParamPack {
  using TKWParamPack::TKWParamPack;
  uint8_t Flag = 0;
  int32_t Level = 3;
  float Scale = 0.5f;
  double Ratio = 0.25;
  std::string Text = "abc";
};

TTestPack gSettings;
int gPanelLevel = 9;  // what the "panel" shows

class TTestFilter : public TKWBasicFilter {
 public:
  int updates = 0;
  bool preview = true;
  void MakeList() override {
    AddParam("Flag", TKWParamType::ptBoolean, &gSettings.Flag);
    AddParam("Level", TKWParamType::ptInteger, &gSettings.Level);
    AddParam("Scale", TKWParamType::ptSingle, &gSettings.Scale);
    AddParam("Ratio", TKWParamType::ptDouble, &gSettings.Ratio);
    AddParam("Text", TKWParamType::ptString, &gSettings.Text);
    AddParam("level", TKWParamType::ptInteger, &gPanelLevel);
  }
  void UpdateParam() override {
    ++updates;
    gSettings.Level = gPanelLevel;
  }
  TKWParamPack* CreateParamPack() override {
    auto* p = new TTestPack(this);
    p->Flag = gSettings.Flag;
    p->Level = gSettings.Level;
    p->Scale = gSettings.Scale;
    p->Ratio = gSettings.Ratio;
    p->Text = gSettings.Text;
    return p;
  }
  TStringList* GetParams(TKWParamPack* pack) override {
    if (!pack) return TKWBasicFilter::GetParams(pack);
    auto* p = dynamic_cast<TTestPack*>(pack);
    if (!p) throw EInvalidCast();
    gSettings.Flag = p->Flag;
    gSettings.Level = p->Level;
    gSettings.Scale = p->Scale;
    gSettings.Ratio = p->Ratio;
    gSettings.Text = p->Text;
    return &Params;
  }
  bool CanPreview() override { return preview; }
  void Filter(TBitmap*, TBitmap*) override {
    Progress(0.5f);
    Progress(0.125f);
    Progress(0.375f);
  }
};

class TNoParams : public TKWBasicGenerator {
 public:
  void Generator(TBitmap*) override {}
};

class TThrowingMixer : public TKWBasicMixer {
 public:
  void Mixer(TBitmap*, TBitmap*, TBitmap*, const TPoint&) override { throw Exception("boom"); }
};


}  // namespace

TEST(Processor, ConstructionSetsGenreVersionAndParameterList) {
  auto f = TKWProcessor::Create<TTestFilter>();
  EXPECT_EQ(f->Genre, TKWProcessorGenre::pgFilter);
  EXPECT_EQ(f->Version, 2000);
  ASSERT_EQ(f->Params.Count(), 6);
  EXPECT_EQ(f->Params.Strings(1), "Level");
  EXPECT_EQ(f->Param(2)->ParamType, TKWParamType::ptSingle);
  EXPECT_EQ(f->Param(1)->ValuePtr, &gSettings.Level);
  // Two entries of the same name: a lookup finds the first only.
  EXPECT_EQ(f->Params.IndexOf("LEVEL"), 1);

  auto g = TKWProcessor::Create<TNoParams>();
  EXPECT_EQ(g->Genre, TKWProcessorGenre::pgGenerator);
  EXPECT_EQ(g->GetParams(nullptr)->Count(), 0);
  std::unique_ptr<TKWParamPack> pack(g->CreateParamPack());
  ASSERT_NE(pack->GetList(), nullptr);
  EXPECT_EQ(pack->GetList()->Count(), 0);

  auto m = TKWProcessor::Create<TThrowingMixer>();
  EXPECT_EQ(m->Genre, TKWProcessorGenre::pgMixer);
}

TEST(Processor, PacksStartWithTheirDefaults) {
  TKWGeneratorPack g;
  EXPECT_EQ(g.Width, 1);
  EXPECT_EQ(g.Height, 1);
  TKWMixerPack m;
  EXPECT_EQ(m.Flag, 0);
  EXPECT_EQ(m.OriginX, 0);
  EXPECT_EQ(m.OriginY, 0);
  for (uint8_t b : m.Reserved) EXPECT_EQ(b, 0);
  TKWParamPack plain;
  EXPECT_EQ(plain.GetList(), nullptr);  // no processor
  auto mixer = TKWProcessor::Create<TThrowingMixer>();
  std::unique_ptr<TKWParamPack> mp(mixer->CreateParamPack());
  EXPECT_NE(dynamic_cast<TKWMixerPack*>(mp.get()), nullptr);
  EXPECT_EQ(mp->Processor, mixer.get());
}

TEST(Processor, GetParamsReadsPanelOrStoredPack) {
  auto f = TKWProcessor::Create<TTestFilter>();
  gPanelLevel = 42;
  f->GetParams(nullptr);  // brings the panel's values in
  EXPECT_EQ(f->updates, 1);
  EXPECT_EQ(f->Param(1)->AsInteger(), 42);

  std::unique_ptr<TKWParamPack> pack(f->CreateParamPack());
  gSettings.Level = 7;
  gSettings.Text = "changed";
  // A stored pack's values come back; the panel is not consulted.
  TStringList* list = pack->GetList();
  EXPECT_EQ(f->updates, 1);
  EXPECT_EQ(list->ObjectAs<TKWParameter>(1)->AsInteger(), 42);
  EXPECT_EQ(list->ObjectAs<TKWParameter>(4)->AsString(), "abc");
  EXPECT_EQ(gPanelLevel, 42);

  // A pack of another class is refused.
  TKWMixerPack other;
  EXPECT_THROW(f->GetParams(&other), EInvalidCast);
}

TEST(Processor, ParameterEntriesWriteThroughToStorage) {
  auto f = TKWProcessor::Create<TTestFilter>();
  f->Param(0)->SetBoolean(true);
  f->Param(2)->SetSingle(0.1f);
  f->Param(3)->SetDouble(-2.5);
  f->Param(4)->SetString("xyz");
  EXPECT_EQ(gSettings.Flag, 1);
  EXPECT_EQ(gSettings.Scale, 0.1f);
  EXPECT_EQ(gSettings.Ratio, -2.5);
  EXPECT_EQ(gSettings.Text, "xyz");
}

TEST(Processor, ProgressNotificationsCarryTheTabledValues) {
  auto f = TKWProcessor::Create<TTestFilter>();
  std::vector<Call> calls;
  f->SetProgress([&calls, &f](TKWProcessor* s, TProgressStage st, uint8_t pd, bool redraw, TRect& r,
                              const std::string& msg) {
    EXPECT_EQ(s, f.get());
    EXPECT_FALSE(redraw);
    calls.push_back({st, pd, r, msg});
  });
  TBitmap a, b;
  f->ExecFilter(&a, &b);
  ASSERT_EQ(calls.size(), 5u);
  EXPECT_EQ(calls[0].stage, TProgressStage::psStarting);
  EXPECT_EQ(calls[0].msg, " フィルタ処理中 ");
  EXPECT_EQ(calls[0].percent, 0);
  EXPECT_EQ(calls[0].r, TRect{});
  EXPECT_EQ(calls[1].stage, TProgressStage::psRunning);
  EXPECT_EQ(calls[1].percent, 50);
  EXPECT_EQ(calls[1].r, (TRect{5000, 0, 0, 0}));
  EXPECT_EQ(calls[2].percent, 12);  // 12.5 rounds to the even 12
  EXPECT_EQ(calls[2].r.Left, 1250);
  EXPECT_EQ(calls[3].percent, 38);  // 37.5 rounds to the even 38
  EXPECT_EQ(calls[3].r.Left, 3750);
  EXPECT_TRUE(calls[3].msg.empty());
  EXPECT_EQ(calls[4].stage, TProgressStage::psEnding);
  EXPECT_EQ(calls[4].percent, 100);
  EXPECT_EQ(calls[4].r, TRect{});

  // Mixer and generator start texts; an exception leaves at once.
  auto m = TKWProcessor::Create<TThrowingMixer>();
  std::vector<std::string> msgs;
  m->SetProgress([&msgs](TKWProcessor*, TProgressStage st, uint8_t, bool, TRect&, const std::string& msg) {
    msgs.push_back(msg);
  });
  TBitmap c;
  EXPECT_THROW(m->ExecMixer(&a, &b, &c, TPoint{}), Exception);
  ASSERT_EQ(msgs.size(), 1u);
  EXPECT_EQ(msgs[0], " 合成処理中 ");
  auto g = TKWProcessor::Create<TNoParams>();
  msgs.clear();
  g->SetProgress([&msgs](TKWProcessor*, TProgressStage, uint8_t, bool, TRect&, const std::string& msg) {
    msgs.push_back(msg);
  });
  g->ExecGenerator(&c);
  ASSERT_EQ(msgs.size(), 2u);
  EXPECT_EQ(msgs[0], " 画像生成中 ");
}

TEST(Processor, WithoutProgressCallbackNothingIsSent) {
  auto f = TKWProcessor::Create<TTestFilter>();
  TBitmap a, b;
  EXPECT_NO_THROW(f->ExecFilter(&a, &b));
  EXPECT_EQ(f->GetCurrentImage(), nullptr);
  auto m = TKWProcessor::Create<TThrowingMixer>();
  EXPECT_EQ(m->GetFGImage(), nullptr);
  EXPECT_EQ(m->GetBGImage(), nullptr);
}

TEST(Processor, UpdatePrevImgNeedsLoadCompleteHookAndPreview) {
  auto f = TKWProcessor::Create<TTestFilter>();
  int calls = 0;
  f->OnUpdatePreview = [&calls, &f](TKWProcessor* s, TKWBasicFilter* arg) {
    EXPECT_EQ(s, f.get());
    EXPECT_EQ(arg, f.get());
    ++calls;
  };
  IsLoadComplete = false;
  f->UpdatePrevImg();
  EXPECT_EQ(calls, 0);
  IsLoadComplete = true;
  f->UpdatePrevImg();
  EXPECT_EQ(calls, 1);
  f->preview = false;
  f->UpdatePrevImg();
  EXPECT_EQ(calls, 1);

  TBitmap img;
  f->OnGetCurrentImage = [&img](TKWProcessor*, TBitmap*& out) { out = &img; };
  EXPECT_EQ(f->GetCurrentImage(), &img);
}

TEST(Registration, RecordsStartWithVersion2000) {
  TFilterInfo fi;
  TMixerInfo mi;
  TGeneratorInfo gi;
  EXPECT_EQ(fi.Version, 2000);
  EXPECT_EQ(mi.Version, 2000);
  EXPECT_EQ(gi.Version, 2000);
  EXPECT_EQ(fi.Filter, nullptr);
  EXPECT_EQ(gi.Generator, nullptr);
  EXPECT_EQ(fi.ActionList, nullptr);
  EXPECT_FALSE(fi.Regist);
  EXPECT_TRUE(gi.Name.empty());
}

TEST(Registration, CallsReachTheInstalledReceiverOnly) {
  TFilterInfo fi;
  KWRegistFilter(&fi);  // nothing installed: ignored
  std::vector<void*> seen;
  KWSetRegistReceivers([&seen](TFilterInfo* i) { seen.push_back(i); },
                       [&seen](TMixerInfo* i) { seen.push_back(i); },
                       [&seen](TGeneratorInfo* i) { seen.push_back(i); });
  TMixerInfo mi;
  TGeneratorInfo gi;
  KWRegistFilter(&fi);
  KWRegistMixer(&mi);
  KWRegistGenerator(&gi);
  KWSetRegistReceivers(nullptr, nullptr, nullptr);
  KWRegistFilter(&fi);
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_EQ(seen[0], &fi);
  EXPECT_EQ(seen[1], &mi);
  EXPECT_EQ(seen[2], &gi);
}

TEST(KeyHelpers, KeepDigitsMinusBackspaceAndForValuesThePoint) {
  for (char16_t c = 0; c < 128; ++c) {
    char16_t k = c;
    bool intKeep = c == 8 || c == u'-' || (c >= u'0' && c <= u'9');
    EXPECT_EQ(IntKey(k), intKeep ? c : 0) << int(c);
    EXPECT_EQ(k, intKeep ? c : 0);
    char16_t v = c;
    EXPECT_EQ(ValueKey(v), (intKeep || c == u'.') ? c : 0) << int(c);
  }
  char16_t k = u'.';
  EXPECT_EQ(IntKey(k), 0);
  k = u'+';
  EXPECT_EQ(ValueKey(k), 0);
  k = u'e';
  EXPECT_EQ(ValueKey(k), 0);
  k = 13;  // Enter never reaches the field
  EXPECT_EQ(ValueKey(k), 0);
  k = u'５';  // full-width digit
  EXPECT_EQ(IntKey(k), 0);
}
