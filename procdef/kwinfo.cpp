#include "procdef/kwinfo.h"

namespace {
TKWFilterRegistMethod gFilterReceiver;
TKWMixerRegistMethod gMixerReceiver;
TKWGeneratorRegistMethod gGeneratorReceiver;
}  // namespace

void KWSetRegistReceivers(TKWFilterRegistMethod filter, TKWMixerRegistMethod mixer,
                          TKWGeneratorRegistMethod generator) {
  gFilterReceiver = std::move(filter);
  gMixerReceiver = std::move(mixer);
  gGeneratorReceiver = std::move(generator);
}

void KWRegistFilter(TFilterInfo* info) {
  if (gFilterReceiver && info) gFilterReceiver(info);
}

void KWRegistMixer(TMixerInfo* info) {
  if (gMixerReceiver && info) gMixerReceiver(info);
}

void KWRegistGenerator(TGeneratorInfo* info) {
  if (gGeneratorReceiver && info) gGeneratorReceiver(info);
}

char16_t IntKey(char16_t& Key) {
  if (!(Key == 8 || Key == u'-' || (Key >= u'0' && Key <= u'9'))) Key = 0;
  return Key;
}

char16_t ValueKey(char16_t& Key) {
  if (!(Key == 8 || Key == u'-' || Key == u'.' || (Key >= u'0' && Key <= u'9'))) Key = 0;
  return Key;
}
