#pragma once
// The corrections of a race, kept with it until the protocol is emptied: when, which rider, what
// changed, the old and the new value. Written beside the shut-down protocol and listed under
// the web-page report, so that every correction stays visible.
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

struct TCorrection {
  QDateTime When;  // local wall-clock time
  QString Rider;   // "Nr. 12"
  QString What;    // "Letzte Zeit übertragen an Nr. 21", "Runde 2 gelöscht", "Name", ...
  QString Old;
  QString New;
  bool operator==(const TCorrection&) const = default;

  // One line: the five fields separated by TABs (TABs and line breaks inside become blanks);
  // the time as "dd.MM.yyyy HH:mm:ss".
  QString ToLine() const;
  static std::optional<TCorrection> FromLine(const QString& line);
};

class TCorrectionLog {
public:
  void Add(TCorrection correction) { entries_.push_back(std::move(correction)); }
  void Clear() { entries_.clear(); }
  const std::vector<TCorrection>& Entries() const { return entries_; }
  bool IsEmpty() const { return entries_.empty(); }
  // The journal's form: one line per entry; and the way back.
  QStringList Lines() const;
  void SetLines(const QStringList& lines);
  // The file written beside the shut-down protocol: a header line, then one line per entry.
  QStringList FileLines() const;

private:
  std::vector<TCorrection> entries_;
};

// The file name beside the shut-down protocol: the application title + "-Korrekturen.txt".
QString CorrectionFileName();
