#pragma once
// The current user's registry branch, kept as a text file in the registry editor's format:
//   Windows Registry Editor Version 5.00
//   [Software\Veltrano]
//   "Left"=dword:00000064
//   "Name"="text"
//   @="default value"
// Types are kept, so reading an integer where a text is stored fails. A user may edit the file
// by hand: a damaged or torn file is read as far as it is readable (lines that cannot be read
// are skipped, and the next write leaves them out); values of other registry types ("hex:...")
// are kept as they are. Texts escape \\ and \" as the registry editor does, and CR, LF as \r, \n.
// A file larger than kMaxFileBytes is no settings file: it is moved aside under a dated name
// (user-2026-12-08-10-15-00.reg) and the store starts empty.
#include <QString>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

class QLockFile;

namespace platform {

class KeyStore {
public:
  // The file of the current user: ${XDG_CONFIG_HOME:-$HOME/.config}/Veltrano/user.reg.
  static QString DefaultPath();

  explicit KeyStore(QString path = DefaultPath());
  ~KeyStore();
  KeyStore(const KeyStore&) = delete;
  KeyStore& operator=(const KeyStore&) = delete;

  // Opens a key (path like "\Software\Veltrano" or "Software\Veltrano"; case-insensitive; a
  // leading "HKEY_CURRENT_USER\" is ignored). Without create, a missing key fails; a key that
  // only exists as the parent of another opens, as in the registry. With create, the key is
  // written to the file at once; false when that fails. Reads the file as far as it is readable.
  bool OpenKey(const QString& key, bool create);
  void CloseKey();
  bool HasOpenKey() const { return !current_.isEmpty(); }

  // Typed reads of the open key: nullopt when the value is missing or of another type.
  std::optional<int32_t> ReadInteger(const QString& name) const;
  std::optional<QString> ReadString(const QString& name) const;
  // The key's unnamed default value (a text).
  std::optional<QString> ReadDefault() const;
  // An integer read as a Boolean: non-zero is true.
  std::optional<bool> ReadBool(const QString& name) const;

  // Writes to the open key and saves the file at once (temporary file, renamed, under a file
  // lock). The file is read again first, so what another instance wrote meanwhile is kept.
  // False when no key is open or the file cannot be read or written.
  bool WriteInteger(const QString& name, int32_t value);
  bool WriteString(const QString& name, const QString& value);
  bool WriteBool(const QString& name, bool value) { return WriteInteger(name, value ? 1 : 0); }

  // Writes between these two are saved together: the file is locked and read once, and written
  // once at the end. Every save waits for the disk, so a dozen values saved one by one keep a
  // closing program waiting for seconds. False when the file cannot be locked and read (the
  // writes then fail), or, at the end, when it cannot be written.
  bool BeginWrites();
  bool EndWrites();

  QString Path() const { return path_; }
  static constexpr qint64 kMaxFileBytes = 1024 * 1024;
  // How long a write waits for another instance's lock before it fails (default 5 s).
  void SetLockTimeout(int ms) { lockTimeoutMs_ = ms; }

private:
  // Where a file too large to read is moved: its name with the date and time added.
  QString AsideName() const;
  struct Value {
    enum Type { Dword, Text, Other } type = Other;
    QString name;      // as written; "" is the key's default value
    int32_t number = 0;
    QString data;      // the text, or an unknown type's data kept verbatim
  };
  struct Key {
    QString name;  // as written, without leading or trailing backslashes
    std::vector<Value> values;
  };
  bool Load();
  bool Save() const;
  bool Write(const Value& value);
  Key* FindKey(const QString& path);
  const Key* CurrentKey() const;
  const Value* Find(const QString& name) const;

  QString path_;
  QString current_;  // normalised path of the open key
  std::vector<Key> keys_;  // in file order
  int lockTimeoutMs_ = 5000;
  std::unique_ptr<QLockFile> batchLock_;  // held from BeginWrites to EndWrites
  bool batchChanged_ = false;
};

}  // namespace platform
