// The key store's file reader: any file opens as far as it is readable, no value ever reads as
// both an integer and a text, and a write keeps every value that was readable before, of its
// type, and reads back what was written.
#include <QFile>
#include <QRegularExpression>
#include <map>

#include "FuzzCommon.h"
#include "platform/KeyStore.h"

namespace {

struct Seen {
  std::optional<int32_t> Number;
  std::optional<QString> Text;
};

std::map<QString, Seen> ReadAll(const platform::KeyStore& store, const QStringList& names) {
  std::map<QString, Seen> seen;
  for (const QString& name : names) {
    Seen s{store.ReadInteger(name), store.ReadString(name)};
    fuzz::Check(!(s.Number && s.Text), "a value reads as integer and as text", name);
    if (s.Number) fuzz::Check(store.ReadBool(name) == (*s.Number != 0), "Boolean of an integer", name);
    seen[name.toLower()] = s;
  }
  return seen;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::Input in(data, size);
  const uint8_t choice = in.Byte();
  const QString written = in.Text();
  const QByteArray file = in.Rest();
  const QString path = fuzz::ScratchFolder() + QStringLiteral("/user.reg");
  {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) fuzz::Fail("cannot write the scratch file");
    f.write(file);
  }

  // The names the file seems to hold, and a few it may not.
  QStringList names{QStringLiteral("Left"), QStringLiteral("Name"), QStringLiteral("x")};
  static const QRegularExpression named(QStringLiteral("^\\s*\"([^\"\\\\]*)\"\\s*="), QRegularExpression::MultilineOption);
  for (auto it = named.globalMatch(QString::fromUtf8(file)); it.hasNext();) names << it.next().captured(1);

  platform::KeyStore store(path);
  const QString key = (choice & 1) ? QStringLiteral("Software\\Veltrano") : QStringLiteral("\\software\\veltrano\\");
  if (!store.OpenKey(key, false)) {
    fuzz::Check(!store.HasOpenKey(), "a failed open left a key open");
    return 0;
  }
  const auto before = ReadAll(store, names);
  (void)store.ReadDefault();

  // Writes go to a name the checks do not look at, so what was there must stay.
  const QString target = QStringLiteral("FuzzWritten");
  const int32_t number = static_cast<int32_t>(qHash(written));
  const bool wroteText = choice & 2;
  const bool ok = wroteText ? store.WriteString(target, written) : store.WriteInteger(target, number);
  if (!ok) return 0;  // the file could not be written; nothing more to check

  platform::KeyStore again(path);
  fuzz::Check(again.OpenKey(key, false), "the key is gone after a write");
  if (wroteText) {
    fuzz::Check(again.ReadString(target) == written, "a text written reads back differently", written);
    fuzz::Check(!again.ReadInteger(target), "a text reads as an integer");
  } else {
    fuzz::Check(again.ReadInteger(target) == number, "an integer written reads back differently");
    fuzz::Check(!again.ReadString(target), "an integer reads as a text");
  }
  const auto after = ReadAll(again, names);
  for (const auto& [name, s] : before) {
    if (name == target.toLower()) continue;
    const Seen& t = after.at(name);
    fuzz::Check(t.Number == s.Number && t.Text == s.Text, "a write changed another value", name);
  }
  return 0;
}
