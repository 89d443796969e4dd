// Writes the two reference texts of the Help menu into the program folder,
// at build time, from what the program itself registers:
//   KWProc.txt    every processor of the packages in ProcLib (caption, menu
//                 place, shortcut, and each parameter with its script name,
//                 type, range and default), from the packages' own tables;
//   KWScript.txt  every command word of the script language with its
//                 aliases and argument kinds, from the keyword table.
// The prose beside the generated parts comes from the templates
// KWProc.txt.in and KWScript.txt.in.  In a template, a line "@@ NAME" opens
// the section of a processor (its registered name) or of a command (its
// first keyword) and is replaced by the generated block; the section runs
// to the next "@@" line.  Sections of processors that no package registers
// are left out.  Whatever is registered but has no section is appended with
// the line kNoProse, which the reference test looks for.
//
//   kw_mkhelp PROGRAM_FOLDER TEMPLATE_FOLDER OUTPUT_FOLDER
#include <cstdio>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <typeinfo>
#include <vector>

#include <QAction>
#include <QApplication>
#include <QTemporaryDir>

#include "host/prcmgr.h"
#include "procdef/kwdatadir.h"
#include "procdef/multiuserini.h"
#include "script/kwscrengine.h"

namespace {

const char* const kNoProse = "（説明がまだありません）";

// Columns a text takes in a fixed-pitch font: ASCII one, everything else two.
size_t Width(const std::string& s) {
  size_t w = 0;
  for (size_t i = 0; i < s.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) ++w;
    else if ((c & 0xC0) != 0x80) w += 2;
  }
  return w;
}

std::string Pad(const std::string& s, size_t width) {
  const size_t w = Width(s);
  return s + std::string(w < width ? width - w : 1, ' ');
}

// A menu caption without its accelerator mark: "ネガポジ反転(&I)" stays as it
// is shown, "&Foo" becomes "Foo".
std::string MenuText(const QString& caption) {
  QString t = caption;
  t.replace("&&", "\x01");
  t.remove('&');
  t.replace("\x01", "&");
  return t.toStdString();
}

std::string ReadFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  if (!f) throw std::runtime_error("cannot read " + path);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f << text;
  if (!f) throw std::runtime_error("cannot write " + path);
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> out;
  std::stringstream s(text);
  std::string l;
  while (std::getline(s, l)) {
    if (!l.empty() && l.back() == '\r') l.pop_back();
    out.push_back(l);
  }
  return out;
}

// A template cut into free text and named sections, in order.
struct Piece {
  std::string name;  // empty: free text
  std::vector<std::string> lines;
};

std::vector<Piece> Cut(const std::string& text) {
  std::vector<Piece> pieces(1);
  for (const std::string& l : Lines(text)) {
    if (l.rfind("@@", 0) == 0) {
      std::string name = l.substr(2);
      while (!name.empty() && name.front() == ' ') name.erase(0, 1);
      while (!name.empty() && name.back() == ' ') name.pop_back();
      pieces.push_back({name, {}});
      continue;
    }
    pieces.back().lines.push_back(l);
  }
  return pieces;
}

std::string Join(const std::vector<std::string>& lines) {
  std::string out;
  for (const std::string& l : lines) out += l + "\n";
  return out;
}

// Fills the template: each section's generated block, then its prose;
// leftovers at the end under their own heading.
std::string Fill(const std::string& templ, const std::vector<std::string>& order,
                 const std::map<std::string, std::string>& blocks, const std::string& restHeading) {
  std::string out;
  std::set<std::string> done;
  for (const Piece& p : Cut(templ)) {
    if (p.name.empty()) {
      out += Join(p.lines);
      continue;
    }
    auto it = blocks.find(p.name);
    if (it == blocks.end()) continue;  // nothing of that name is registered
    if (!done.insert(p.name).second) throw std::runtime_error("two sections for " + p.name);
    out += it->second + Join(p.lines);
  }
  bool heading = false;
  for (const std::string& name : order) {
    if (done.count(name)) continue;
    if (!heading) {
      out += "\n" + restHeading + "\n\n";
      heading = true;
    }
    out += blocks.at(name) + "\n  " + kNoProse + "\n\n";
  }
  return out;
}

// ---- processors ----

const char* TypeName(TKWParamType t) {
  switch (t) {
    case TKWParamType::ptBoolean: return "boolean";
    case TKWParamType::ptInteger: return "integer";
    case TKWParamType::ptSingle: return "single";
    case TKWParamType::ptDouble: return "double";
    case TKWParamType::ptString: return "string";
  }
  return "?";
}

std::string ProcessorBlock(const std::string& name, const char* kind, const char* menu,
                           TKWProcessor* p, const TActionList* actions) {
  std::string b;
  b += "■ " + name + "  「" + (p ? p->Caption : std::string()) + "」 " + kind + "\n";
  if (actions && !actions->empty()) {
    for (QAction* a : *actions) {
      if (!a) continue;
      const QString key = a->shortcut().toString(QKeySequence::PortableText);
      b += std::string("  メニュー: ") + menu + " > " + MenuText(a->text());
      b += key.isEmpty() ? std::string() : "   ショートカット: " + key.toStdString();
      b += "\n";
    }
  }
  if (!p || p->Params.Count() == 0) {
    b += "  パラメータ: なし\n";
    return b;
  }
  size_t wn = 10;
  for (int i = 0; i < p->Params.Count(); ++i) wn = std::max(wn, p->Params.Strings(i).size() + 2);
  size_t wr = 8;
  for (int i = 0; i < p->Params.Count(); ++i) wr = std::max(wr, p->Param(i)->Range.size() + 2);
  b += "\n  " + Pad("名前", wn) + Pad("型", 9) + Pad("範囲", wr) + "既定値\n";
  for (int i = 0; i < p->Params.Count(); ++i) {
    const TKWParameter* e = p->Param(i);
    b += "  " + Pad(p->Params.Strings(i), wn) + Pad(TypeName(e->ParamType), 9) +
         Pad(e->Range.empty() ? "-" : e->Range, wr) + (e->Default.empty() ? "-" : e->Default) + "\n";
  }
  return b;
}

std::string ProcReference(const TKWProcessorManager& mgr, const std::string& templ) {
  std::map<std::string, std::string> blocks;
  std::vector<std::string> order;
  auto add = [&](const std::string& name, std::string block) {
    if (blocks.count(name)) return;  // a second processor of that name is never reached
    blocks[name] = std::move(block);
    order.push_back(name);
  };
  for (int i = 0; i < mgr.Filters.Count(); ++i) {
    auto* r = mgr.Filters.ObjectAs<TFilterInfo>(i);
    add(mgr.Filters.Strings(i), ProcessorBlock(mgr.Filters.Strings(i), "フィルタ", "フィルタ", r->Filter, r->ActionList));
  }
  for (int i = 0; i < mgr.Mixers.Count(); ++i) {
    auto* r = mgr.Mixers.ObjectAs<TMixerInfo>(i);
    add(mgr.Mixers.Strings(i), ProcessorBlock(mgr.Mixers.Strings(i), "ミキサー", "ミキサー", r->Mixer, r->ActionList));
  }
  for (int i = 0; i < mgr.Generators.Count(); ++i) {
    auto* r = mgr.Generators.ObjectAs<TGeneratorInfo>(i);
    add(mgr.Generators.Strings(i),
        ProcessorBlock(mgr.Generators.Strings(i), "ジェネレータ", "ジェネレータ", r->Generator, r->ActionList));
  }
  return Fill(templ, order, blocks, "■■ 説明のないプロセッサ");
}

// ---- script commands ----

const char* KindName(TKWSArgKind k) {
  switch (k) {
    case akNone: return "";
    case akImage: return "画像";
    case akNumber: return "数値";
    case akString: return "文字列";
    case akBool: return "論理";
    case akName: return "名前";
  }
  return "?";
}

std::string ScriptReference(TKWScriptEngine& engine, const std::string& templ) {
  // Rows of the keyword table: consecutive keywords of one command class.
  struct Row {
    std::vector<std::string> words;
    TKWScriptCommand* cmd;
  };
  std::vector<Row> rows;
  for (TStringList* t : {&engine.FirstKeywordTable(), &engine.SecondKeywordTable()}) {
    for (int i = 0; i < t->Count(); ++i) {
      auto* c = t->ObjectAs<TKWScriptCommand>(i);
      if (!rows.empty() && typeid(*rows.back().cmd) == typeid(*c))
        rows.back().words.push_back(t->Strings(i));
      else
        rows.push_back({{t->Strings(i)}, c});
    }
  }
  std::map<std::string, std::string> blocks;
  std::vector<std::string> order;
  for (const Row& r : rows) {
    std::string b = "◆ " + r.words[0];
    for (size_t i = 1; i < r.words.size(); ++i) b += (i == 1 ? "  (別名 " : ", ") + r.words[i];
    if (r.words.size() > 1) b += ")";
    b += "\n  書式: " + r.words[0];
    for (TKWSArgKind k : r.cmd->ArgKinds)
      if (k != akNone) b += std::string(" ") + KindName(k);
    b += "\n";
    blocks[r.words[0]] = b;
    order.push_back(r.words[0]);
  }
  return Fill(templ, order, blocks, "◆◆ 説明のないコマンド");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: kw_mkhelp PROGRAM_FOLDER TEMPLATE_FOLDER OUTPUT_FOLDER\n");
    return 2;
  }
  const std::string prog = std::string(argv[1]) + "/";
  const std::string templ = std::string(argv[2]) + "/";
  const std::string out = std::string(argv[3]) + "/";
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  // The reference shows the defaults: no settings file is read or written.
  QTemporaryDir empty;
  KWSetDataDir(empty.path().toStdString());
  KWSetSettingsWritable(false);
  try {
    TKWProcessorManager mgr;
    mgr.LoadProcessors(prog + "ProcLib/");
    WriteFile(out + "KWProc.txt", ProcReference(mgr, ReadFile(templ + "KWProc.txt.in")));
    mgr.UnloadPackages();
    TKWScriptEngine engine(nullptr);
    WriteFile(out + "KWScript.txt", ScriptReference(engine, ReadFile(templ + "KWScript.txt.in")));
  } catch (const std::exception& e) {
    std::fprintf(stderr, "kw_mkhelp: %s\n", e.what());
    return 1;
  }
  return 0;
}
