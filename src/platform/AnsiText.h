#pragma once
// 8-bit text files. Written as Windows-1252 with CR LF when every character fits, otherwise as
// UTF-8 with a byte-order mark, so no name is ever damaged. Read as UTF-8 when the bytes are
// valid UTF-8 (with or without BOM), otherwise as Windows-1252. A line ends at CR, LF or CR LF.
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>

namespace platform {

bool FitsWindows1252(const QString& text);
QByteArray ToWindows1252(const QString& text);  // characters that do not fit become '?'
QString FromWindows1252(const QByteArray& bytes);

// The bytes of a text file holding these lines, each ended by CR LF.
QByteArray EncodeLines(const QStringList& lines);
// Decodes a file's bytes (encoding as above) into text.
QString DecodeText(const QByteArray& bytes);
// Splits text into lines at CR, LF or CR LF; a final line end adds no empty line.
QStringList SplitLines(const QString& text);

// Writes the file atomically (temporary file in the same folder, renamed over the target).
bool WriteTextFile(const QString& path, const QStringList& lines);
// Writes raw bytes atomically.
bool WriteFileAtomically(const QString& path, const QByteArray& bytes);
// The text of a file (anything but a regular file is refused); nullopt when it cannot be read.
std::optional<QString> ReadText(const QString& path);
// The lines of a text file; nullopt when it cannot be read.
std::optional<QStringList> ReadTextFile(const QString& path);

}  // namespace platform
