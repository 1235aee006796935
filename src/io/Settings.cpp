#include "io/Settings.h"

#include <algorithm>
#include <functional>
#include <vector>

#include "platform/AppTitle.h"
#include "platform/KeyStore.h"

namespace {

// One stored value: its name and how it reaches and leaves the settings.
struct Field {
  const char* name;
  std::function<void(TSettings&, int32_t)> apply;
  std::function<int32_t(const TSettings&)> value;
};

template <typename Member>
Field Plain(const char* name, Member member) {
  return {name, [member](TSettings& s, int32_t v) { s.*member = v; },
          [member](const TSettings& s) { return s.*member; }};
}

// The read and write order.
const std::vector<Field>& Fields() {
  static const std::vector<Field> fields = {
      {"Left", [](TSettings& s, int32_t v) { s.Left = v; }, [](const TSettings& s) { return s.Left.value_or(0); }},
      {"Top", [](TSettings& s, int32_t v) { s.Top = v; }, [](const TSettings& s) { return s.Top.value_or(0); }},
      Plain("Width", &TSettings::Width),
      Plain("Height", &TSettings::Height),
      {"Sound", [](TSettings& s, int32_t v) { s.Sound = v != 0; }, [](const TSettings& s) { return s.Sound ? 1 : 0; }},
      Plain("C1", &TSettings::C1),
      Plain("C2", &TSettings::C2),
      Plain("C3", &TSettings::C3),
      Plain("Acc", &TSettings::Acc),
      Plain("C4", &TSettings::C4),
      Plain("FilterInd", &TSettings::FilterInd),
      Plain("RoundLen", &TSettings::RoundLen),
      Plain("CountDown", &TSettings::CountDown),
  };
  return fields;
}

// The values added later: each read on its own, kept within its range.
struct Extra {
  const char* name;
  int32_t TSettings::*member;
  int32_t min, max;
};
const std::vector<Extra>& Extras() {
  static const std::vector<Extra> extras = {
      {"MinLap", &TSettings::MinLap, 0, 3600},
      {"LivePort", &TSettings::LivePort, 0, 65535},
      {"LiveClients", &TSettings::LiveClients, 1, kMaxLiveClients},
  };
  return extras;
}

constexpr const char* kLiveFolder = "LiveFolder";

}  // namespace

QString SettingsKey() { return "\\Software\\" + platform::ApplicationTitle(); }

int ReadSettings(platform::KeyStore& store, const QString& key, TSettings& settings) {
  if (!store.OpenKey(key, false)) return 0;
  int read = 0;
  for (const Field& field : Fields()) {
    const std::optional<int32_t> value = store.ReadInteger(field.name);
    if (!value) break;
    field.apply(settings, *value);
    ++read;
  }
  for (const Extra& extra : Extras())
    if (const std::optional<int32_t> value = store.ReadInteger(extra.name))
      settings.*extra.member = std::clamp(*value, extra.min, extra.max);
  if (const std::optional<QString> folder = store.ReadString(kLiveFolder)) settings.LiveFolder = *folder;
  store.CloseKey();
  return read;
}

bool WriteSettings(platform::KeyStore& store, const QString& key, const TSettings& settings) {
  // One save for all values: each save waits for the disk.
  if (!store.BeginWrites()) return false;
  if (!store.OpenKey(key, true)) {
    store.EndWrites();
    return false;
  }
  bool ok = true;
  for (const Field& field : Fields()) ok = store.WriteInteger(field.name, field.value(settings)) && ok;
  for (const Extra& extra : Extras()) ok = store.WriteInteger(extra.name, settings.*extra.member) && ok;
  ok = store.WriteString(kLiveFolder, settings.LiveFolder) && ok;
  store.CloseKey();
  return store.EndWrites() && ok;
}
