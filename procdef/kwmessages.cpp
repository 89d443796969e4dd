#include "procdef/kwmessages.h"

#include <cstdio>
#include <mutex>

namespace {

std::mutex g_lock;
TMessageHandler g_handler;
bool g_interactive = false;
TSPIs* g_plugins = nullptr;

TMsgResult PrintMessage(TMsgKind kind, const std::string& text) {
  std::FILE* out = kind == TMsgKind::Error || kind == TMsgKind::Warning ? stderr : stdout;
  std::fprintf(out, "%s\n", text.c_str());
  std::fflush(out);
  return kind == TMsgKind::Question ? TMsgResult::No : TMsgResult::Ok;
}

}  // namespace

TMessageHandler SetMessageHandler(TMessageHandler handler) {
  std::lock_guard<std::mutex> g(g_lock);
  TMessageHandler old = std::move(g_handler);
  g_handler = std::move(handler);
  return old;
}

TMsgResult ShowMessageBox(TMsgKind kind, const std::string& text, const std::string& caption,
                          bool withCancel) {
  TMessageHandler h;
  {
    std::lock_guard<std::mutex> g(g_lock);
    h = g_handler;
  }
  if (h) return h(kind, caption, text, withCancel);
  return PrintMessage(kind, text);
}

bool KWInteractive() { return g_interactive; }
void KWSetInteractive(bool interactive) { g_interactive = interactive; }

TSPIs* KWImagePlugins() { return g_plugins; }
void KWSetImagePlugins(TSPIs* list) { g_plugins = list; }
