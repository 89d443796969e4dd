#include "script/programhost.h"

#include <iostream>

#include "host/prcmgr.h"
#include "script/kwscrbatch.h"
#include "ui/messages.h"

TKWBasicFilter* TKWProgramScriptHost::FindFilter(const std::string& name) {
  TFilterInfo* info = manager_ ? manager_->FindFilter(name) : nullptr;
  return info ? info->Filter : nullptr;
}

TKWBasicMixer* TKWProgramScriptHost::FindMixer(const std::string& name) {
  TMixerInfo* info = manager_ ? manager_->FindMixer(name) : nullptr;
  return info ? info->Mixer : nullptr;
}

TKWBasicGenerator* TKWProgramScriptHost::FindGenerator(const std::string& name) {
  TGeneratorInfo* info = manager_ ? manager_->FindGenerator(name) : nullptr;
  return info ? info->Generator : nullptr;
}

void TKWProgramScriptHost::GetMixerSettings(int32_t& originX, int32_t& originY, bool& clipping) {
  if (MixerSettings) {
    MixerSettings(originX, originY, clipping);
  } else {
    TKWScriptHost::GetMixerSettings(originX, originY, clipping);
  }
}

bool TKWProgramScriptHost::DocumentAlive(TKWChild* doc) {
  return IsDocumentOpen ? IsDocumentOpen(doc) : doc != nullptr;
}

void TKWProgramScriptHost::ShowInformation(const std::string& text) { ShowInfo(text); }

void KWSDeleteCommand(void* command) { delete static_cast<TKWScriptCommand*>(command); }

int KWRunScriptCommandLine(TKWProcessorManager& manager, const std::string& path) {
  TMessageHandler previous = SetMessageHandler(
      [](TMsgKind kind, const std::string&, const std::string& text, bool) {
        if (kind == TMsgKind::Error || kind == TMsgKind::Warning) {
          std::cerr << text << '\n' << std::flush;
        } else {
          std::cout << text << '\n' << std::flush;
        }
        return kind == TMsgKind::Question ? TMsgResult::No : TMsgResult::Ok;
      });
  TKWProgramScriptHost host(&manager);
  int rc;
  {
    TKWScriptEngine engine(&host, &manager.Keywords1, &manager.Keywords2);
    manager.KeywordDeleter = KWSDeleteCommand;
    rc = KWRunScriptBatch(engine, path, std::cerr);
  }
  SetMessageHandler(previous);
  return rc;
}
