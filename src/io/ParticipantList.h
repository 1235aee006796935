#pragma once
// The participant list: the lines of a tab-separated file (start number, name, category), a
// current line, and the parser that reads a line's fields only when it is shown. Also the
// plain list files it shares its reading with ("Kategorie.txt").
#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>
#include <functional>
#include <optional>

// Parser steps over one line; pos is 1-based as the list's columns are counted.
// Advances while the character at pos is a TAB or a blank; the end of the line stops it.
void SkipBlanks(const QString& line, int& pos);
// The characters from pos up to, not including, the next TAB or the end; pos ends on that TAB.
QString ReadField(const QString& line, int& pos);

struct TParticipant {
  QString Number;
  QString Name;
  QString Category;
  bool operator==(const TParticipant&) const = default;
};
// The first three fields, each after skipping blanks: an empty field between two TABs does not
// count, leading blanks go, trailing blanks stay. Each is cut to its first kMaxParticipantField
// characters, as the start-number choice is.
inline constexpr int kMaxParticipantField = 255;
TParticipant ParseParticipant(const QString& line);

// The protocol row where participant p rides: the first started row (start tick in column 13)
// with his name and the start number START gave him, 0 when he has not started. His number is
// taken as the entry field holds it. A number that is none matches any: START numbered him by
// his row, which every ranking changes; without name and number he is nobody. cell(col, row)
// reads the protocol.
int32_t StartedRowOf(const TParticipant& p, int32_t rowCount, const std::function<QString(int32_t col, int32_t row)>& cell);

// The start-number choice of a line: its raw text before the first TAB, of the first 255
// characters.
QString StartNumberChoice(const QString& line);

// The lines of a text file, or a German message saying why it cannot be opened. Files larger
// than kMaxListFileBytes are refused: they are no list, and loading them would stall the window.
struct TListFile {
  std::optional<QStringList> Lines;
  QString Error;
};
inline constexpr qint64 kMaxListFileBytes = 8 * 1024 * 1024;
TListFile ReadListFile(const QString& path);

// The category choices of "Kategorie.txt": one per line, blank lines left out (an empty choice
// would file riders under no category while one is shown as selected).
QStringList CategoryChoices(const QStringList& lines);

class TParticipantList {
public:
  // What loading decided for the window.
  struct TLoaded {
    // New titles of protocol columns 1, 2 and 3; an empty one leaves its column as it is.
    std::array<QString, 3> Titles;
    // The start numbers to append to the drop-down, one per line.
    QStringList StartNumbers;
  };

  // Replaces the list with a file's lines: empty lines go (the first line always stays), the
  // first line's fields give the column titles, and a header line ("Nr.", nameCaption or
  // "Name" in it) is dropped. The first line becomes current.
  TLoaded Load(QStringList lines, const QString& nameCaption);

  // Moves the current line by delta; a line outside the list means none is current.
  void Step(int delta);
  // Makes line index current; outside the list none is.
  void Choose(int index);

  int Count() const { return static_cast<int>(lines_.size()); }
  int Current() const { return current_; }
  bool CanGoBack() const { return current_ > 0; }
  bool CanGoForward() const { return current_ < Count() - 1; }
  // "k von n", k the current line counted from 1 (0 when none is current).
  QString CounterText() const;
  // The current line's fields; none when no line is current.
  std::optional<TParticipant> CurrentParticipant() const;
  const QStringList& Lines() const { return lines_; }

private:
  QStringList lines_;
  int current_ = -1;
};
