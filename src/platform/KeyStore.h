#pragma once
// The current user's registry branch, kept as a text file in the registry editor's format:
//   Windows Registry Editor Version 5.00
//   [Software\Veltrano]
//   "Left"=dword:00000064
//   "Name"="text"
//   @="default value"
// Types are kept, so reading an integer where a text is stored fails.
#include <QMap>
#include <QString>
#include <QVariant>
#include <cstdint>
#include <optional>

namespace platform {

class KeyStore {
public:
  // The file of the current user: ${XDG_CONFIG_HOME:-$HOME/.config}/Veltrano/user.reg.
  static QString DefaultPath();

  explicit KeyStore(QString path = DefaultPath());

  // Opens a key (path like "\Software\Veltrano" or "Software\Veltrano"; case-insensitive).
  // Without create, a missing key fails. Reads the file as far as it is readable.
  bool OpenKey(const QString& key, bool create);
  void CloseKey();
  bool HasOpenKey() const { return !current_.isEmpty(); }

  // Typed reads of the open key: nullopt when the value is missing or of another type.
  std::optional<int32_t> ReadInteger(const QString& name) const;
  std::optional<QString> ReadString(const QString& name) const;
  // The key's unnamed default value (a text).
  std::optional<QString> ReadDefault() const;

  // Writes to the open key and saves the file at once (temporary file, renamed, under a file
  // lock). False when no key is open or the file cannot be written.
  bool WriteInteger(const QString& name, int32_t value);
  bool WriteString(const QString& name, const QString& value);

  QString Path() const { return path_; }

private:
  struct Key {
    QString name;
    QMap<QString, std::pair<QString, QVariant>> values;  // keyed by lower-cased value name
  };
  bool Load();
  bool Save();
  bool Write(const QString& name, const QVariant& value);

  QString path_;
  QString current_;  // lower-cased path of the open key
  QMap<QString, Key> keys_;  // keyed by lower-cased path
};

}  // namespace platform
