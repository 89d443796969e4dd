// The log script: the text a document's operation history turns into.
#include <string>

#include "image/kwbitmap.h"
#include "platform/sysutils.h"
#include "procdef/kwproc.h"
#include "script/kwscript.h"

namespace {

std::string ParamLine(const std::string& proc, const std::string& name, const TKWParameter& p) {
  std::string line = "Equal " + proc + "." + name;
  switch (p.ParamType) {
    case TKWParamType::ptBoolean:
      return line + (p.AsBoolean() ? " True" : " False");
    case TKWParamType::ptInteger:
      return line + " " + std::to_string(p.AsInteger());
    case TKWParamType::ptSingle:
      // The 32-bit value widened: 0.1 reads 0.100000001490116.
      return line + " " + FloatToStr((long double)(double)p.AsSingle());
    case TKWParamType::ptDouble:
      return line + " " + FloatToStr((long double)p.AsDouble());
    case TKWParamType::ptString:
      return line + " " + p.AsString();
  }
  return line;
}

}  // namespace

TKWScript TKWScript::CreateLog(const std::vector<std::unique_ptr<TKWParamPack>>& log) {
  TKWScript s;
  s.Add(";====== Varoka Log Script ======");
  s.Add("");
  s.Add("Image CurrentImage");
  s.Add("CurImg CurrentImage");
  for (const auto& packPtr : log) {
    TKWParamPack* pack = packPtr.get();
    if (!pack) continue;
    s.Add("");
    s.Add(";----");
    s.Add("");
    if (auto* g = dynamic_cast<TKWGenericParamPack*>(pack)) {
      s.Add(g->LogText);
      continue;
    }
    TKWProcessor* proc = pack->Processor;
    if (!proc) continue;
    const std::string& P = proc->Name;
    if (TStringList* list = pack->GetList()) {
      for (int i = 0; i < list->Count(); ++i) {
        auto* p = list->ObjectAs<TKWParameter>(i);
        if (p && p->ValuePtr) s.Add(ParamLine(P, list->Strings(i), *p));
      }
    }
    switch (proc->Genre) {
      case TKWProcessorGenre::pgFilter:
        s.Add("ExecFilter " + P + " CurrentImage");
        break;
      case TKWProcessorGenre::pgMixer: {
        auto* m = dynamic_cast<TKWMixerPack*>(pack);
        int32_t x = m ? m->OriginX : 0, y = m ? m->OriginY : 0, flag = m ? m->Flag : 0;
        s.Add("Equal Mixer.Origin_X " + std::to_string(x));
        s.Add("Equal Mixer.Origin_Y " + std::to_string(y));
        s.Add(std::string("Equal Mixer.Clipping ") + ((flag & 1) ? "True" : "False"));
        s.Add("ExecMixer " + P + " CurrentImage CurrentImage");
        break;
      }
      case TKWProcessorGenre::pgGenerator: {
        auto* g = dynamic_cast<TKWGeneratorPack*>(pack);
        s.Add("Equal Generator.Width " + std::to_string(g ? g->Width : 0));
        s.Add("Equal Generator.Height " + std::to_string(g ? g->Height : 0));
        s.Add("ExecGenerator " + P + " CurrentImage");
        break;
      }
      case TKWProcessorGenre::pgDummy:
        break;
    }
  }
  return s;
}
