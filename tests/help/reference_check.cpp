// The two references of the Help menu against the program: every processor
// and parameter that KW --list names has its block and row in KWProc.txt,
// every command word of the keyword table its entry in KWScript.txt, and each
// of them its hand-written description.  When this fails, the message names
// what to add to which template.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "script/kwscrengine.h"

namespace {

const char* const kNoProse = "（説明がまだありません）";

std::string ReadFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> out;
  std::stringstream s(text);
  std::string l;
  while (std::getline(s, l)) out.push_back(l);
  return out;
}

std::vector<std::string> Words(const std::string& line) {
  std::vector<std::string> w;
  std::stringstream s(line);
  std::string t;
  while (s >> t) w.push_back(t);
  return w;
}

struct Processor {
  std::string name;
  std::vector<std::pair<std::string, std::string>> params;  // name, type
};

// KW --list of the program itself.
std::vector<Processor> Listed() {
  std::vector<Processor> out;
  FILE* p = ::popen("QT_QPA_PLATFORM=offscreen '" KW_EXE "' --list", "r");
  if (!p) return out;
  std::string text;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) text.append(buf, n);
  EXPECT_EQ(::pclose(p), 0);
  for (const std::string& l : Lines(text)) {
    std::vector<std::string> f;
    std::stringstream s(l);
    std::string t;
    while (std::getline(s, t, '\t')) f.push_back(t);
    if (l.empty()) continue;
    if (l[0] != '\t') out.push_back({f.at(1), {}});
    else out.back().params.push_back({f.at(1), f.at(2)});
  }
  return out;
}

TEST(HelpReference, EveryProcessorAndParameterIsDescribedInKWProc) {
  const std::vector<Processor> procs = Listed();
  ASSERT_GE(procs.size(), 19u);
  const std::vector<std::string> lines = Lines(ReadFile(KW_BIN_DIR_DEFAULT "/KWProc.txt"));
  ASSERT_FALSE(lines.empty()) << "KWProc.txt is missing from the program folder";
  std::set<std::string> seen;
  for (const Processor& p : procs) {
    if (!seen.insert(p.name).second) continue;
    // The block: from "■ Name  「" to the next "■ ".
    const std::string head = "■ " + p.name + "  「";
    size_t i = 0;
    while (i < lines.size() && lines[i].rfind(head, 0) != 0) ++i;
    ASSERT_LT(i, lines.size()) << "KWProc.txt has no block for the processor " << p.name;
    size_t end = i + 1;
    while (end < lines.size() && lines[end].rfind("■", 0) != 0) ++end;
    // Generated lines: the menu lines, "パラメータ: なし", the table's heading
    // and its rows; anything else is the description.
    std::set<std::string> names{"名前", "パラメータ:", "メニュー:"};
    for (const auto& pr : p.params) names.insert(pr.first);
    std::map<std::string, std::string> rows;
    bool prose = false, placeholder = false;
    for (size_t k = i + 1; k < end; ++k) {
      std::vector<std::string> w = Words(lines[k]);
      if (w.empty()) continue;
      if (lines[k].find(kNoProse) != std::string::npos) placeholder = true;
      if (names.count(w[0])) {
        if (w.size() >= 4) rows.emplace(w[0], w[1]);  // the table comes before the prose
      } else {
        prose = true;
      }
    }
    prose = prose && !placeholder;
    EXPECT_TRUE(prose) << "KWProc.txt has no description of the processor " << p.name
                       << ": add a section that starts with the line \"@@ " << p.name
                       << "\" to help/KWProc.txt.in and describe it and its parameters there";
    for (const auto& [param, type] : p.params) {
      auto it = rows.find(param);
      EXPECT_TRUE(it != rows.end() && it->second == type)
          << "KWProc.txt has no row \"" << param << " " << type << "\" for the processor " << p.name;
    }
  }
}

TEST(HelpReference, EveryCommandWordIsDescribedInKWScript) {
  TKWScriptEngine engine(nullptr);
  const std::vector<std::string> lines = Lines(ReadFile(KW_BIN_DIR_DEFAULT "/KWScript.txt"));
  ASSERT_FALSE(lines.empty()) << "KWScript.txt is missing from the program folder";
  // Every word named in a "◆" heading (the command and its aliases), and
  // whether the entry has a description.
  std::map<std::string, bool> described;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].rfind("◆ ", 0) != 0) continue;
    std::string h = lines[i].substr(std::string("◆ ").size());
    for (char& c : h)
      if (c == ',' || c == '(' || c == ')') c = ' ';
    bool prose = false;
    for (size_t k = i + 1; k < lines.size() && lines[k].rfind("◆", 0) != 0; ++k) {
      if (lines[k].find(kNoProse) != std::string::npos) break;
      if (lines[k].find("書式:") == std::string::npos && !Words(lines[k]).empty()) {
        prose = true;
        break;
      }
    }
    for (const std::string& w : Words(h))
      if (w != "別名") described[w] = prose;
  }
  int words = 0;
  for (TStringList* t : {&engine.FirstKeywordTable(), &engine.SecondKeywordTable()}) {
    for (int i = 0; i < t->Count(); ++i, ++words) {
      const std::string& w = t->Strings(i);
      auto it = described.find(w);
      EXPECT_TRUE(it != described.end()) << "KWScript.txt does not name the command word " << w;
      if (it != described.end()) {
        EXPECT_TRUE(it->second) << "KWScript.txt has no description of the command " << w
                                << ": add a section that starts with the line \"@@ " << w
                                << "\" (the first word of its row) to help/KWScript.txt.in";
      }
    }
  }
  EXPECT_EQ(words, 167);
}

}  // namespace
