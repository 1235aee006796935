#include "platform/KeyStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <algorithm>
#include <utility>

#include "platform/AnsiText.h"
#include "platform/LocalTime.h"

namespace platform {
namespace {

const QString kHeader = QStringLiteral("Windows Registry Editor Version 5.00");

bool SameName(const QString& a, const QString& b) {
  return a.compare(b, Qt::CaseInsensitive) == 0;
}

bool IsHex(const QString& text) {
  if (text.isEmpty()) return false;
  for (QChar c : text) {
    const char16_t u = c.toLower().unicode();
    if (!((u >= u'0' && u <= u'9') || (u >= u'a' && u <= u'f'))) return false;
  }
  return true;
}

// "\Software\Veltrano\", "HKEY_CURRENT_USER\Software\Veltrano" -> "Software\Veltrano".
QString NormalizeKey(QString key) {
  key = key.trimmed();
  while (key.startsWith(u'\\')) key.remove(0, 1);
  for (const QString& root : {QStringLiteral("HKEY_CURRENT_USER\\"), QStringLiteral("HKCU\\")}) {
    if (key.startsWith(root, Qt::CaseInsensitive)) {
      key.remove(0, root.size());
      break;
    }
  }
  while (key.contains(QStringLiteral("\\\\"))) key.replace(QStringLiteral("\\\\"), QStringLiteral("\\"));
  while (key.startsWith(u'\\')) key.remove(0, 1);
  while (key.endsWith(u'\\')) key.chop(1);
  return key;
}

QString Quote(const QString& text) {
  QString out = QStringLiteral("\"");
  for (QChar c : text) {
    switch (c.unicode()) {
      case u'\\': out += QStringLiteral("\\\\"); break;
      case u'"': out += QStringLiteral("\\\""); break;
      case u'\r': out += QStringLiteral("\\r"); break;
      case u'\n': out += QStringLiteral("\\n"); break;
      default: out += c;
    }
  }
  return out + u'"';
}

// Reads a quoted text starting at pos (which holds the opening quote); pos ends after the
// closing quote. False when the text is not closed (a torn line).
bool Unquote(const QString& line, qsizetype& pos, QString& out) {
  out.clear();
  for (qsizetype i = pos + 1; i < line.size(); ++i) {
    const QChar c = line.at(i);
    if (c == u'"') {
      pos = i + 1;
      return true;
    }
    if (c == u'\\' && i + 1 < line.size()) {
      const QChar next = line.at(++i);
      if (next == u'\\' || next == u'"') out += next;
      else if (next == u'n') out += u'\n';
      else if (next == u'r') out += u'\r';
      else { out += c; out += next; }  // not an escape: kept as written
      continue;
    }
    out += c;
  }
  return false;
}

}  // namespace

QString KeyStore::DefaultPath() {
  QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
  if (base.isEmpty() || QDir::isRelativePath(base)) base = QDir::homePath() + QStringLiteral("/.config");
  return base + QStringLiteral("/Veltrano/user.reg");
}

KeyStore::KeyStore(QString path) : path_(std::move(path)) {}

KeyStore::~KeyStore() { EndWrites(); }

KeyStore::Key* KeyStore::FindKey(const QString& path) {
  for (Key& key : keys_)
    if (SameName(key.name, path)) return &key;
  return nullptr;
}

const KeyStore::Key* KeyStore::CurrentKey() const {
  if (current_.isEmpty()) return nullptr;
  for (const Key& key : keys_)
    if (SameName(key.name, current_)) return &key;
  return nullptr;
}

const KeyStore::Value* KeyStore::Find(const QString& name) const {
  const Key* key = CurrentKey();
  if (!key) return nullptr;
  for (const Value& value : key->values)
    if (SameName(value.name, name)) return &value;
  return nullptr;
}

// Replaces the model with the file's contents. A missing file is an empty store; false only
// when the file exists but cannot be read, so a write never replaces what it could not see.
QString KeyStore::AsideName() const {
  const QFileInfo info(path_);
  const QString base = info.dir().filePath(info.completeBaseName()) + u'-' +
                       Now().toString(QStringLiteral("yyyy-MM-dd-HH-mm-ss"));
  const QString suffix = info.suffix().isEmpty() ? QString() : u'.' + info.suffix();
  QString name = base + suffix;
  for (int n = 2; QFileInfo::exists(name); ++n) name = base + u'-' + QString::number(n) + suffix;
  return name;
}

bool KeyStore::Load() {
  const QFileInfo info(path_);
  if (!info.exists()) {
    keys_.clear();
    return true;
  }
  // A pipe or device would block until someone writes to it, or never end.
  if (!info.isFile()) return false;
  // Settings take a few hundred bytes; a file far beyond that would stall every read. It is
  // moved aside under a dated name, never deleted, and the store starts empty.
  if (info.size() > kMaxFileBytes) {
    if (!QFile::rename(path_, AsideName())) return false;
    keys_.clear();
    return true;
  }
  QFile file(path_);
  if (!file.open(QIODevice::ReadOnly)) return false;
  const QByteArray bytes = file.readAll();
  if (file.error() != QFileDevice::NoError) return false;
  keys_.clear();

  QString text;
  if (bytes.startsWith("\xFF\xFE")) {
    // The registry editor itself saves UTF-16.
    text = QString::fromUtf16(reinterpret_cast<const char16_t*>(bytes.constData() + 2),
                              (bytes.size() - 2) / 2);
  } else {
    text = DecodeText(bytes);
  }
  const QStringList lines = SplitLines(text);
  // A last line without its line end may be torn; its integer must then be complete.
  const bool lastLineTorn = !text.isEmpty() && !text.endsWith(u'\n') && !text.endsWith(u'\r');

  qsizetype keyIndex = -1;  // index into keys_ of the section being read, -1 outside one
  for (qsizetype i = 0; i < lines.size(); ++i) {
    QString line = lines.at(i).trimmed();
    while (line.endsWith(u'\\') && line.contains(QStringLiteral("=hex"), Qt::CaseInsensitive) &&
           i + 1 < lines.size()) {
      line.chop(1);
      line += lines.at(++i).trimmed();
    }
    // A continuation with no line after it ends the value: kept, it would swallow the next value
    // written behind it.
    while (line.endsWith(u'\\') && line.contains(QStringLiteral("=hex"), Qt::CaseInsensitive)) line.chop(1);
    if (line.isEmpty() || line.startsWith(u';')) continue;

    if (line.startsWith(u'[')) {
      keyIndex = -1;
      if (!line.endsWith(u']')) continue;  // torn section line: its values are not trusted
      QString name = line.mid(1, line.size() - 2).trimmed();
      if (name.startsWith(u'-')) {
        // A deletion entry removes the key and its subkeys.
        const QString gone = NormalizeKey(name.mid(1));
        std::erase_if(keys_, [&](const Key& k) {
          return SameName(k.name, gone) || k.name.startsWith(gone + u'\\', Qt::CaseInsensitive);
        });
        continue;
      }
      name = NormalizeKey(name);
      if (name.isEmpty()) continue;
      for (qsizetype k = 0; k < qsizetype(keys_.size()); ++k)
        if (SameName(keys_[k].name, name)) keyIndex = k;
      if (keyIndex < 0) {
        keys_.push_back({name, {}});
        keyIndex = qsizetype(keys_.size()) - 1;
      }
      continue;
    }
    if (keyIndex < 0) continue;  // the header line, or values outside any section

    Value value;
    qsizetype pos = 0;
    if (line.startsWith(u'@')) {
      pos = 1;
    } else if (line.startsWith(u'"')) {
      if (!Unquote(line, pos, value.name)) continue;
    } else {
      continue;
    }
    const QString rest = line.mid(pos).trimmed();
    if (!rest.startsWith(u'=')) continue;
    const QString data = rest.mid(1).trimmed();
    std::vector<Value>& values = keys_[keyIndex].values;
    auto existing = std::find_if(values.begin(), values.end(),
                                 [&](const Value& v) { return SameName(v.name, value.name); });
    if (data == u'-') {
      if (existing != values.end()) values.erase(existing);
      continue;
    }
    if (data.startsWith(u'"')) {
      qsizetype end = 0;
      if (!Unquote(data, end, value.data) || end != data.size()) continue;
      value.type = Value::Text;
    } else if (data.startsWith(QStringLiteral("dword:"), Qt::CaseInsensitive)) {
      const QString hex = data.mid(6);
      bool ok = false;
      const uint number = hex.toUInt(&ok, 16);
      const bool torn = lastLineTorn && i == lines.size() - 1;
      if (!ok || !IsHex(hex) || hex.size() > 8 || (torn && hex.size() != 8)) continue;
      value.type = Value::Dword;
      value.number = static_cast<int32_t>(number);
    } else if (data.contains(u':')) {
      value.type = Value::Other;  // hex:, hex(2): and friends, kept but never read as ours
      value.data = data;
    } else {
      continue;
    }
    if (existing != values.end()) *existing = value;
    else values.push_back(value);
  }
  return true;
}

bool KeyStore::Save() const {
  QStringList lines{kHeader, QString()};
  for (const Key& key : keys_) {
    lines << u'[' + key.name + u']';
    for (const Value& value : key.values) {
      QString line = value.name.isEmpty() ? QStringLiteral("@") : Quote(value.name);
      line += u'=';
      switch (value.type) {
        case Value::Dword:
          line += QStringLiteral("dword:%1").arg(static_cast<uint32_t>(value.number), 8, 16, QChar(u'0'));
          break;
        case Value::Text: line += Quote(value.data); break;
        case Value::Other: line += value.data; break;
      }
      lines << line;
    }
    lines << QString();
  }
  return WriteTextFile(path_, lines);
}

bool KeyStore::OpenKey(const QString& key, bool create) {
  current_.clear();
  const QString name = NormalizeKey(key);
  if (name.isEmpty() || name.contains(u'\r') || name.contains(u'\n') || name.contains(u']'))
    return false;

  const auto exists = [&] {
    for (const Key& k : keys_)
      if (SameName(k.name, name) || k.name.startsWith(name + u'\\', Qt::CaseInsensitive)) return true;
    return false;
  };
  if (!create) {
    if (!Load() || !exists()) return false;
    current_ = name;
    return true;
  }

  if (batchLock_) {
    // The batch holds the lock and has read the file; a new key is saved with its values.
    if (!exists()) {
      keys_.push_back({name, {}});
      batchChanged_ = true;
    }
    current_ = name;
    return true;
  }
  if (!QDir().mkpath(QFileInfo(path_).absolutePath())) return false;
  QLockFile lock(path_ + QStringLiteral(".lock"));
  if (!lock.tryLock(lockTimeoutMs_)) return false;
  if (!Load()) return false;
  if (!exists()) {
    keys_.push_back({name, {}});
    if (!Save()) {
      keys_.pop_back();
      return false;
    }
  }
  current_ = name;
  return true;
}

void KeyStore::CloseKey() { current_.clear(); }

std::optional<int32_t> KeyStore::ReadInteger(const QString& name) const {
  const Value* v = Find(name);
  if (!v || v->type != Value::Dword) return std::nullopt;
  return v->number;
}

std::optional<QString> KeyStore::ReadString(const QString& name) const {
  const Value* v = Find(name);
  if (!v || v->type != Value::Text) return std::nullopt;
  return v->data;
}

std::optional<QString> KeyStore::ReadDefault() const { return ReadString(QString()); }

std::optional<bool> KeyStore::ReadBool(const QString& name) const {
  const auto number = ReadInteger(name);
  if (!number) return std::nullopt;
  return *number != 0;
}

bool KeyStore::BeginWrites() {
  EndWrites();
  if (!QDir().mkpath(QFileInfo(path_).absolutePath())) return false;
  auto lock = std::make_unique<QLockFile>(path_ + QStringLiteral(".lock"));
  if (!lock->tryLock(lockTimeoutMs_) || !Load()) return false;
  batchLock_ = std::move(lock);
  batchChanged_ = false;
  return true;
}

bool KeyStore::EndWrites() {
  if (!batchLock_) return false;
  const bool saved = !batchChanged_ || Save();
  batchLock_.reset();
  batchChanged_ = false;
  return saved;
}

bool KeyStore::Write(const Value& value) {
  if (current_.isEmpty()) return false;
  std::unique_ptr<QLockFile> lock;
  if (!batchLock_) {
    if (!QDir().mkpath(QFileInfo(path_).absolutePath())) return false;
    lock = std::make_unique<QLockFile>(path_ + QStringLiteral(".lock"));
    if (!lock->tryLock(lockTimeoutMs_)) return false;
    // Start from what is on disk now: another instance may have written other keys meanwhile.
    if (!Load()) return false;
  }
  Key* key = FindKey(current_);
  if (!key) {
    keys_.push_back({current_, {}});
    key = &keys_.back();
  }
  auto it = std::find_if(key->values.begin(), key->values.end(),
                         [&](const Value& v) { return SameName(v.name, value.name); });
  if (it != key->values.end()) {
    const QString keptName = it->name;  // the spelling already in the file stays
    *it = value;
    it->name = keptName;
  } else {
    key->values.push_back(value);
  }
  if (batchLock_) {
    batchChanged_ = true;
    return true;
  }
  return Save();
}

bool KeyStore::WriteInteger(const QString& name, int32_t value) {
  Value v;
  v.type = Value::Dword;
  v.name = name;
  v.number = value;
  return Write(v);
}

bool KeyStore::WriteString(const QString& name, const QString& value) {
  Value v;
  v.type = Value::Text;
  v.name = name;
  v.data = value;
  return Write(v);
}

}  // namespace platform
