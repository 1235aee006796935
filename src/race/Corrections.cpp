#include "race/Corrections.h"

#include "platform/AppTitle.h"

namespace {

constexpr const char* kTimeFormat = "dd.MM.yyyy HH:mm:ss";

// A field stays on its line and in its column.
QString Field(const QString& text) {
  QString field = text;
  for (QChar& c : field)
    if (c == u'\t' || c == u'\r' || c == u'\n') c = u' ';
  return field;
}

}  // namespace

QString TCorrection::ToLine() const {
  return QStringList{When.toString(QLatin1String(kTimeFormat)), Field(Rider), Field(What), Field(Old), Field(New)}.join(u'\t');
}

std::optional<TCorrection> TCorrection::FromLine(const QString& line) {
  const QStringList fields = line.split(u'\t');
  if (fields.size() != 5) return std::nullopt;
  TCorrection correction{QDateTime::fromString(fields[0], QLatin1String(kTimeFormat)), fields[1], fields[2], fields[3], fields[4]};
  if (!correction.When.isValid()) return std::nullopt;
  return correction;
}

QStringList TCorrectionLog::Lines() const {
  QStringList lines;
  for (const TCorrection& correction : entries_) lines << correction.ToLine();
  return lines;
}

void TCorrectionLog::SetLines(const QStringList& lines) {
  entries_.clear();
  for (const QString& line : lines)
    if (const std::optional<TCorrection> correction = TCorrection::FromLine(line)) entries_.push_back(*correction);
}

QStringList TCorrectionLog::FileLines() const {
  return QStringList{QStringLiteral("Uhrzeit\tFahrer\tÄnderung\tAlt\tNeu")} + Lines();
}

QString CorrectionFileName() { return platform::ApplicationTitle() + QStringLiteral("-Korrekturen.txt"); }
