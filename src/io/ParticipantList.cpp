#include "io/ParticipantList.h"

#include <QFile>
#include <QFileInfo>

#include "platform/AnsiText.h"
#include "race/Protocol.h"

namespace {

bool IsBlank(QChar c) { return c == u'\t' || c == u' '; }

}  // namespace

void SkipBlanks(const QString& line, int& pos) {
  while (pos >= 1 && pos <= line.size() && IsBlank(line.at(pos - 1))) ++pos;
}

QString ReadField(const QString& line, int& pos) {
  if (pos < 1 || pos > line.size()) return QString();
  const int start = pos;
  const qsizetype tab = line.indexOf(u'\t', start - 1);
  pos = tab < 0 ? static_cast<int>(line.size()) + 1 : static_cast<int>(tab) + 1;
  return line.mid(start - 1, pos - start);
}

TParticipant ParseParticipant(const QString& line) {
  TParticipant p;
  int pos = 1;
  for (QString* field : {&p.Number, &p.Name, &p.Category}) {
    SkipBlanks(line, pos);
    // A field of megabytes would stall every repaint of the entry field and the column title.
    *field = ReadField(line, pos).left(kMaxParticipantField);
  }
  return p;
}

int32_t StartedRowOf(const TParticipant& p, int32_t rowCount, const std::function<QString(int32_t col, int32_t row)>& cell) {
  // Read as START reads it: a list number that is none gave the rider his row number.
  const std::optional<int32_t> number = ParseStartNumber(p.Number);
  if (!number && p.Name.isEmpty()) return 0;  // nothing to know him by
  for (int32_t row = 1; row < rowCount; ++row) {
    if (cell(pcStartTick, row).isEmpty() || cell(pcName, row) != p.Name) continue;
    if (!number || cell(pcNumber, row) == QString::number(*number)) return row;
  }
  return 0;
}

QString StartNumberChoice(const QString& line) {
  const QString head = line.left(255);
  const qsizetype tab = head.indexOf(u'\t');
  return tab < 0 ? head : head.left(tab);
}

QStringList CategoryChoices(const QStringList& lines) {
  QStringList choices;
  for (const QString& line : lines)
    if (!line.trimmed().isEmpty()) choices << line;
  return choices;
}

TListFile ReadListFile(const QString& path) {
  TListFile result;
  const QString prefix = QStringLiteral("Die Datei \"") + path + QStringLiteral("\" kann nicht geöffnet werden. ");
  const QFileInfo info(path);
  if (!info.exists()) {
    result.Error = prefix + QStringLiteral("Sie wurde nicht gefunden.");
    return result;
  }
  if (info.isDir()) {
    result.Error = prefix + QStringLiteral("Das ist ein Ordner.");
    return result;
  }
  // A pipe or device would block the window until someone writes to it, or never end.
  if (!info.isFile()) {
    result.Error = prefix + QStringLiteral("Das ist keine Datei.");
    return result;
  }
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    result.Error = prefix + (file.error() == QFileDevice::PermissionsError ? QStringLiteral("Zugriff verweigert.")
                                                                          : QStringLiteral("Lesefehler."));
    return result;
  }
  if (file.size() > kMaxListFileBytes) {
    result.Error = prefix + QStringLiteral("Sie ist zu groß für eine Liste.");
    return result;
  }
  const QByteArray bytes = file.read(kMaxListFileBytes + 1);
  if (file.error() != QFileDevice::NoError || bytes.size() > kMaxListFileBytes) {
    result.Error = prefix + (bytes.size() > kMaxListFileBytes ? QStringLiteral("Sie ist zu groß für eine Liste.")
                                                              : QStringLiteral("Lesefehler."));
    return result;
  }
  result.Lines = platform::SplitLines(platform::DecodeText(bytes));
  return result;
}

TParticipantList::TLoaded TParticipantList::Load(QStringList lines, const QString& nameCaption) {
  TLoaded loaded;
  // Empty lines go, from the end down to the second; the first is never removed here.
  for (qsizetype i = lines.size() - 1; i >= 1; --i)
    if (lines.at(i).isEmpty()) lines.removeAt(i);

  if (!lines.isEmpty()) {
    // The first line names the columns whether or not it is then taken as a header.
    const TParticipant first = ParseParticipant(lines.first());
    loaded.Titles = {first.Number, first.Name, first.Category};
    const QString& head = lines.first();
    if (head.contains(QStringLiteral("Nr.")) || (!nameCaption.isEmpty() && head.contains(nameCaption)) ||
        head.contains(QStringLiteral("Name")))
      lines.removeFirst();
  }

  lines_ = std::move(lines);
  current_ = lines_.isEmpty() ? -1 : 0;
  for (const QString& line : lines_) loaded.StartNumbers << StartNumberChoice(line);
  return loaded;
}

void TParticipantList::Step(int delta) { Choose(current_ + delta); }

void TParticipantList::Choose(int index) { current_ = index >= 0 && index < Count() ? index : -1; }

QString TParticipantList::CounterText() const {
  return QString::number(current_ + 1) + QStringLiteral(" von ") + QString::number(Count());
}

std::optional<TParticipant> TParticipantList::CurrentParticipant() const {
  if (current_ < 0 || current_ >= Count()) return std::nullopt;
  return ParseParticipant(lines_.at(current_));
}
