#include "io/Journal.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/file.h>
#include <unistd.h>

#include "platform/LocalTime.h"
#include "platform/Tick.h"
#include "race/Protocol.h"
#include "race/TimeText.h"

namespace {

// The first format wrote the protocol's cells only; the second adds each row's record, and
// the correction list behind the rows; the third the open times behind the corrections; the
// fourth the stations' key and the ids of their passes, and open times as a change of the list.
constexpr const char* kMagicCells = "VJ1";
constexpr const char* kMagicRecords = "VJ2";
constexpr const char* kMagicOpenTimes = "VJ3";
constexpr const char* kMagic = "VJ4";
// Fixed fields before the rows: magic, seq, event, tick, wall, boot, state, race start,
// lap length, five table lengths, sort flag, selected row, row count; then, from the second
// format, the number of corrections; in the third, the number of open times; in the fourth,
// the stations' key and the number of station pass ids.
constexpr int kFixedFieldsCells = 17;
constexpr int kFixedFieldsRecords = 18;
constexpr int kFixedFieldsOpenTimes = 19;
constexpr int kFixedFields = 21;
constexpr int kTableLaps = 5;

QByteArray Escape(const QString& text) {
  const QByteArray raw = text.toUtf8();
  QByteArray out;
  out.reserve(raw.size());
  for (char c : raw) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '\t': out += "\\t"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      default: out += c;
    }
  }
  return out;
}

std::optional<QString> Unescape(const QByteArray& field) {
  QByteArray raw;
  raw.reserve(field.size());
  for (qsizetype i = 0; i < field.size(); ++i) {
    const char c = field[i];
    if (c != '\\') {
      raw += c;
      continue;
    }
    if (++i >= field.size()) return std::nullopt;
    switch (field[i]) {
      case '\\': raw += '\\'; break;
      case 't': raw += '\t'; break;
      case 'n': raw += '\n'; break;
      case 'r': raw += '\r'; break;
      default: return std::nullopt;
    }
  }
  return QString::fromUtf8(raw);
}

const char* StateName(TRaceSnapshot::TState state) {
  switch (state) {
    case TRaceSnapshot::TState::Running: return "running";
    case TRaceSnapshot::TState::Ended: return "ended";
    default: return "idle";
  }
}

std::optional<TRaceSnapshot::TState> StateFromName(const QByteArray& name) {
  if (name == "idle") return TRaceSnapshot::TState::Idle;
  if (name == "running") return TRaceSnapshot::TState::Running;
  if (name == "ended") return TRaceSnapshot::TState::Ended;
  return std::nullopt;
}

template <typename T>
std::optional<T> Number(const QByteArray& text) {
  bool ok = false;
  if constexpr (std::is_same_v<T, uint32_t>) {
    const qulonglong value = text.toULongLong(&ok);
    if (!ok || value > 0xFFFFFFFFull) return std::nullopt;
    return static_cast<uint32_t>(value);
  } else if constexpr (std::is_same_v<T, int32_t>) {
    const int value = text.toInt(&ok);
    if (!ok) return std::nullopt;
    return value;
  } else {
    const qlonglong value = text.toLongLong(&ok);
    if (!ok) return std::nullopt;
    return static_cast<T>(value);
  }
}

QStringList EmptyRow() { return QStringList(kJournalRowFields, QString()); }

bool IsEmptyRow(const QStringList& row) {
  for (const QString& cell : row)
    if (!cell.isEmpty()) return false;
  return true;
}

QString SystemError(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

}  // namespace

uint32_t Crc32(const char* data, size_t size) {
  static const std::array<uint32_t, 256> table = [] {
    std::array<uint32_t, 256> t{};
    for (uint32_t n = 0; n < 256; ++n) {
      uint32_t c = n;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[n] = c;
    }
    return t;
  }();
  uint32_t crc = 0xFFFFFFFFu;
  for (size_t i = 0; i < size; ++i) crc = table[(crc ^ static_cast<uint8_t>(data[i])) & 0xFF] ^ (crc >> 8);
  return crc ^ 0xFFFFFFFFu;
}

QByteArray EncodeJournalLine(const TJournalRecord& r) {
  QByteArray line;
  line.reserve(256 + static_cast<qsizetype>(r.Rows.size()) * 120);
  auto field = [&line](const QByteArray& text) {
    if (!line.isEmpty()) line += '\t';
    line += text;
  };
  field(kMagic);
  field(QByteArray::number(static_cast<qlonglong>(r.Seq)));
  field(Escape(r.Event));
  field(QByteArray::number(r.Tick));
  field(QByteArray::number(static_cast<qlonglong>(r.Wall)));
  field(Escape(r.Boot));
  field(StateName(r.State));
  field(QByteArray::number(r.RaceStartTick));
  field(QByteArray::number(r.RoundLen));
  for (int k = 0; k < kTableLaps; ++k) field(Escape(k < r.LapTable.size() ? r.LapTable[k] : QString()));
  field(r.CanSort ? "1" : "0");
  field(QByteArray::number(r.SelectedRow));
  field(QByteArray::number(r.RowCount));
  field(QByteArray::number(r.CorrectionCount));
  // A line that carries the open times counts what it carries.
  field(QByteArray::number(r.OpenTimes && !r.OpenTimesKept ? static_cast<int32_t>(r.OpenTimes->size()) : r.OpenTimeCount));
  field(Escape(r.StationToken));
  field(QByteArray::number(r.StationIdCount));
  for (const auto& [index, cells] : r.Rows) {
    field("#" + QByteArray::number(index));
    for (int c = 0; c < kJournalRowFields; ++c) field(Escape(c < cells.size() ? cells[c] : QString()));
  }
  for (const QString& correction : r.NewCorrections) field("+" + Escape(correction));
  if (r.OpenTimes && r.OpenTimesKept)
    field("%" + QByteArray::number(r.OpenTimesKept->first) + ',' + QByteArray::number(r.OpenTimesKept->second));
  if (r.OpenTimes)
    for (const QString& openTime : *r.OpenTimes) field("~" + Escape(openTime));
  for (const QString& id : r.NewStationIds) field("=" + Escape(id));
  const uint32_t crc = Crc32(line.constData(), static_cast<size_t>(line.size()));
  line += "\t*";
  line += QByteArray::number(crc, 16).rightJustified(8, '0');
  line += '\n';
  return line;
}

std::optional<TJournalRecord> DecodeJournalLine(const QByteArray& line) {
  const qsizetype mark = line.lastIndexOf("\t*");
  if (mark < 0 || line.size() - mark != 10) return std::nullopt;
  bool ok = false;
  const uint32_t crc = line.mid(mark + 2).toUInt(&ok, 16);
  if (!ok || crc != Crc32(line.constData(), static_cast<size_t>(mark))) return std::nullopt;

  const QList<QByteArray> fields = line.left(mark).split('\t');
  const QByteArray magic = fields.value(0);
  const bool cellsOnly = magic == kMagicCells;
  const bool withStations = magic == kMagic;
  const bool withOpenTimes = withStations || magic == kMagicOpenTimes;
  if (!cellsOnly && !withOpenTimes && magic != kMagicRecords) return std::nullopt;
  const int fixed = cellsOnly         ? kFixedFieldsCells
                    : withStations   ? kFixedFields
                    : withOpenTimes  ? kFixedFieldsOpenTimes
                                     : kFixedFieldsRecords;
  const int rowFields = cellsOnly ? kProtocolColumns : kJournalRowFields;
  if (fields.size() < fixed) return std::nullopt;

  TJournalRecord r;
  const auto seq = Number<int64_t>(fields[1]);
  const auto event = Unescape(fields[2]);
  const auto tick = Number<uint32_t>(fields[3]);
  const auto wall = Number<int64_t>(fields[4]);
  const auto boot = Unescape(fields[5]);
  const auto state = StateFromName(fields[6]);
  const auto raceStart = Number<uint32_t>(fields[7]);
  const auto roundLen = Number<int32_t>(fields[8]);
  const auto selected = Number<int32_t>(fields[15]);
  const auto rowCount = Number<int32_t>(fields[16]);
  if (!seq || !event || !tick || !wall || !boot || !state || !raceStart || !roundLen || !selected || !rowCount)
    return std::nullopt;
  // A row count beyond any protocol is a damaged line, not a request for gigabytes.
  if (*rowCount < 1 || *rowCount > kMaxJournalRows || (fields[14] != "0" && fields[14] != "1")) return std::nullopt;
  r.Seq = *seq;
  r.Event = *event;
  r.Tick = *tick;
  r.Wall = *wall;
  r.Boot = *boot;
  r.State = *state;
  r.RaceStartTick = *raceStart;
  r.RoundLen = *roundLen;
  for (int k = 0; k < kTableLaps; ++k) {
    const auto length = Unescape(fields[9 + k]);
    if (!length) return std::nullopt;
    r.LapTable << *length;
  }
  r.CanSort = fields[14] == "1";
  r.SelectedRow = *selected;
  r.RowCount = *rowCount;
  if (!cellsOnly) {
    const auto corrections = Number<int32_t>(fields[17]);
    if (!corrections || *corrections < 0) return std::nullopt;
    r.CorrectionCount = *corrections;
  }
  if (withOpenTimes) {
    const auto openTimes = Number<int32_t>(fields[18]);
    if (!openTimes || *openTimes < 0) return std::nullopt;
    r.OpenTimeCount = *openTimes;
  }
  if (withStations) {
    const auto token = Unescape(fields[19]);
    const auto ids = Number<int32_t>(fields[20]);
    if (!token || !ids || *ids < 0) return std::nullopt;
    r.StationToken = *token;
    r.StationIdCount = *ids;
  }
  qsizetype i = fixed;
  for (; i < fields.size() && fields[i].startsWith('#'); i += 1 + rowFields) {
    if (i + rowFields >= fields.size()) return std::nullopt;
    const auto index = Number<int32_t>(fields[i].mid(1));
    if (!index || *index < 0 || *index >= r.RowCount) return std::nullopt;
    QStringList cells;
    for (int c = 0; c < rowFields; ++c) {
      const auto cell = Unescape(fields[i + 1 + c]);
      if (!cell) return std::nullopt;
      cells << *cell;
    }
    // A row of the first format has no record: an empty one is read from its cells.
    while (cells.size() < kJournalRowFields) cells << QString();
    r.Rows.emplace_back(*index, std::move(cells));
  }
  for (; i < fields.size() && !cellsOnly && fields[i].startsWith('+'); ++i) {
    const auto correction = Unescape(fields[i].mid(1));
    if (!correction) return std::nullopt;
    r.NewCorrections << *correction;
  }
  if (i < fields.size() && withStations && fields[i].startsWith('%')) {
    const QList<QByteArray> kept = fields[i].mid(1).split(',');
    const auto before = Number<int32_t>(kept.value(0));
    const auto after = Number<int32_t>(kept.value(1));
    if (kept.size() != 2 || !before || !after || *before < 0 || *after < 0) return std::nullopt;
    r.OpenTimesKept = std::make_pair(*before, *after);
    ++i;
  }
  QStringList openTimes;
  for (; i < fields.size() && withOpenTimes && fields[i].startsWith('~'); ++i) {
    const auto openTime = Unescape(fields[i].mid(1));
    if (!openTime) return std::nullopt;
    openTimes << *openTime;
  }
  for (; i < fields.size() && withStations && fields[i].startsWith('='); ++i) {
    const auto id = Unescape(fields[i].mid(1));
    if (!id) return std::nullopt;
    r.NewStationIds << *id;
  }
  if (i < fields.size() || r.NewCorrections.size() > r.CorrectionCount || r.NewStationIds.size() > r.StationIdCount)
    return std::nullopt;
  if (r.OpenTimesKept) {
    const qint64 total = qint64(r.OpenTimesKept->first) + r.OpenTimesKept->second + openTimes.size();
    if (total != r.OpenTimeCount) return std::nullopt;
    r.OpenTimes = std::move(openTimes);
  } else if (!openTimes.isEmpty() || r.OpenTimeCount == 0) {
    // A line of no open times says so without entries; older formats have none.
    if (openTimes.size() != r.OpenTimeCount) return std::nullopt;
    r.OpenTimes = std::move(openTimes);
  }
  return r;
}

QString CurrentBootId() {
  QFile file(QStringLiteral("/proc/sys/kernel/random/boot_id"));
  if (!file.open(QIODevice::ReadOnly)) return QStringLiteral("-");
  const QString id = QString::fromLatin1(file.readAll()).trimmed();
  return id.isEmpty() ? QStringLiteral("-") : id;
}

bool ApplyJournalRecord(const TJournalRecord& r, TRaceSnapshot& state) {
  if (!r.OpenTimes && r.OpenTimeCount != state.OpenTimes.size()) return false;
  if (r.OpenTimesKept) {
    const auto [before, after] = *r.OpenTimesKept;
    if (qint64(before) + after > state.OpenTimes.size()) return false;
    state.OpenTimes = state.OpenTimes.mid(0, before) + *r.OpenTimes + state.OpenTimes.mid(state.OpenTimes.size() - after);
  } else if (r.OpenTimes) {
    state.OpenTimes = *r.OpenTimes;
  }
  state.State = r.State;
  state.RaceStartTick = r.RaceStartTick;
  state.RoundLen = r.RoundLen;
  state.LapTable = r.LapTable;
  state.CanSort = r.CanSort;
  state.SelectedRow = r.SelectedRow;
  state.Rows.resize(static_cast<size_t>(r.RowCount), EmptyRow());
  for (const auto& [index, cells] : r.Rows) state.Rows[static_cast<size_t>(index)] = cells;
  // The line names the last entries of the list; those before it are the ones already read.
  const qsizetype kept = std::min<qsizetype>(state.Corrections.size(), r.CorrectionCount - r.NewCorrections.size());
  state.Corrections = state.Corrections.mid(0, kept) + r.NewCorrections;
  state.StationToken = r.StationToken;
  const qsizetype keptIds = std::min<qsizetype>(state.StationIds.size(), r.StationIdCount - r.NewStationIds.size());
  state.StationIds = state.StationIds.mid(0, keptIds) + r.NewStationIds;
  return true;
}

TJournalContents ReadJournal(const QString& path) {
  TJournalContents result;
  const QFileInfo info(path);
  if (!info.exists()) return result;
  result.Exists = true;
  // A file beyond any race is no journal: replaying it would stall the start.
  if (info.isFile() && info.size() > kMaxJournalBytes) {
    result.TooLarge = true;
    result.CorruptLine = 1;
    return result;
  }
  QFile file(path);
  // A pipe or device would block until someone writes to it, or never end.
  if (!info.isFile() || !file.open(QIODevice::ReadOnly)) {
    result.CorruptLine = 1;
    return result;
  }

  // Line by line, so the memory used is that of the longest line. A line is complete with its
  // LF; what follows the last one is a line the program did not finish writing.
  auto nextLine = [&file, &result]() -> std::optional<QByteArray> {
    if (file.atEnd()) return std::nullopt;
    QByteArray line = file.readLine();
    if (!line.endsWith('\n')) {
      if (!line.isEmpty()) result.TornTail = true;
      return std::nullopt;
    }
    line.chop(1);
    return line;
  };

  int64_t expectedSeq = 1;
  std::optional<QByteArray> line = nextLine();
  for (int number = 1; line; ++number) {
    std::optional<TJournalRecord> record = DecodeJournalLine(*line);
    if (record && (record->Seq != expectedSeq || !ApplyJournalRecord(*record, result.State))) record.reset();
    std::optional<QByteArray> next = nextLine();
    if (!record) {
      if (next)
        result.CorruptLine = number;
      else
        result.TornTail = true;  // the last line: died while writing it
      break;
    }
    ++expectedSeq;
    ++result.ValidLines;
    // Open times are presses: worth keeping even in a journal that only opened and closed.
    if ((record->Event != "OPEN" && record->Event != "CLOSE") || record->OpenTimeCount > 0) result.HasContent = true;
    result.Closed = record->Event == "CLOSE";
    result.LastTick = record->Tick;
    result.LastWall = record->Wall;
    result.LastBoot = record->Boot;
    line = std::move(next);
  }
  if (result.CorruptLine || result.TornTail) result.Closed = false;
  return result;
}

uint32_t RebootTickShift(uint32_t lastTick, int64_t lastWall, uint32_t nowTick, int64_t nowWall) {
  // The old tick t happened at lastWall + (t - lastTick); today's counter read nowTick at
  // nowWall. Modulo 2^32 throughout, like every tick difference.
  const uint32_t wallGap = static_cast<uint32_t>(static_cast<uint64_t>(nowWall - lastWall));
  return nowTick - lastTick - wallGap;
}

namespace {
// Only riders on course hold ticks in their cells; a stopped rider's last-lap cell is "0".
bool OnCourse(const QStringList& row) {
  return row.size() >= kProtocolColumns && !row[pcStartTick].isEmpty() && row[pcLastLapTick] != QLatin1String("0");
}

// An open time's tick ends at its first '|', or with the text.
qsizetype OpenTimeTickEnd(const QString& openTime) {
  const qsizetype bar = openTime.indexOf(u'|');
  return bar < 0 ? openTime.size() : bar;
}

// Plain decimal digits only, so that a text that is no tick is never rewritten.
std::optional<uint32_t> OpenTimeTick(QStringView digits) {
  if (digits.isEmpty() || !std::all_of(digits.begin(), digits.end(), [](QChar c) { return c >= u'0' && c <= u'9'; }))
    return std::nullopt;
  bool ok = false;
  const uint32_t tick = digits.toUInt(&ok);
  return ok ? std::optional<uint32_t>(tick) : std::nullopt;
}
}  // namespace

bool RaceOver(const TRaceSnapshot& state) {
  if (state.State == TRaceSnapshot::TState::Running) return false;
  return std::none_of(state.Rows.begin() + std::min<size_t>(1, state.Rows.size()), state.Rows.end(), OnCourse);
}

void ShiftSnapshotTicks(TRaceSnapshot& state, uint32_t shift) {
  auto move = [shift](uint32_t tick) { return UsableTick(tick + shift); };
  if (state.RaceStartTick != 0) state.RaceStartTick = move(state.RaceStartTick);
  for (size_t r = 1; r < state.Rows.size(); ++r) {
    QStringList& row = state.Rows[r];
    if (row.size() < kProtocolColumns) continue;
    // The times a row carries are ticks, stopped riders' included.
    if (row.size() > kProtocolColumns) {
      if (std::optional<TRowRecord> record = TRowRecord::FromText(row[kProtocolColumns]); record && record->Times) {
        TRiderTimes& times = *record->Times;
        if (times.Started) times.Start = move(times.Start);
        for (uint32_t& press : times.Presses) press = move(press);
        row[kProtocolColumns] = record->ToText();
      }
    }
    // A stopped rider's column 13 is his total, no tick.
    if (!OnCourse(row)) continue;
    if (const auto start = TickFromText(row[pcStartTick])) row[pcStartTick] = TickToText(move(*start));
    if (!row[pcLastLapTick].isEmpty())
      if (const auto last = TickFromText(row[pcLastLapTick])) row[pcLastLapTick] = TickToText(move(*last));
  }
  for (QString& openTime : state.OpenTimes) {
    const qsizetype end = OpenTimeTickEnd(openTime);
    if (const auto tick = OpenTimeTick(QStringView(openTime).left(end)))
      openTime.replace(0, end, QString::number(move(*tick)));
  }
}

// --- Writer

TJournalWriter::~TJournalWriter() { Close(); }

bool TJournalWriter::Open(const QString& path) {
  Close();
  const QByteArray name = QFile::encodeName(path);
  fd_ = ::open(name.constData(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd_ < 0) {
    error_ = SystemError(errno);
    return false;
  }
  error_.clear();
  stop_ = false;
  dirty_ = true;  // the new directory entry as well
  flusher_ = std::thread([this] { FlushLoop(); });
  return true;
}

bool TJournalWriter::Append(const QByteArray& line) {
  if (fd_ < 0) return false;
  const char* data = line.constData();
  size_t left = static_cast<size_t>(line.size());
  while (left > 0) {
    const ssize_t written = ::write(fd_, data, left);
    if (written < 0) {
      if (errno == EINTR) continue;
      error_ = SystemError(errno);
      return false;
    }
    data += written;
    left -= static_cast<size_t>(written);
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    dirty_ = true;
  }
  wake_.notify_one();
  return true;
}

void TJournalWriter::FlushLoop() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return dirty_ || stop_; });
    if (!dirty_) return;
    dirty_ = false;
    lock.unlock();
    // The file descriptor stays open until this thread has been joined.
    ::fdatasync(fd_);
    lock.lock();
    ++flushes_;
  }
}

void TJournalWriter::Close() {
  if (fd_ < 0) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  wake_.notify_one();
  if (flusher_.joinable()) flusher_.join();
  ::fdatasync(fd_);
  ::close(fd_);
  fd_ = -1;
}

int TJournalWriter::Flushes() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return flushes_;
}

// --- Journal

TJournal::TJournal(QString path) : path_(std::move(path)), boot_(CurrentBootId()) {}

QString TJournal::DatedName() const {
  QString base = path_;
  if (base.endsWith(QLatin1String(".journal"))) base.chop(8);
  const QString stamp = platform::Now().toString(QStringLiteral("yyyy-MM-dd-HH-mm-ss"));
  QString name = base + "-" + stamp + ".journal";
  for (int n = 2; QFileInfo::exists(name); ++n) name = base + "-" + stamp + "-" + QString::number(n) + ".journal";
  return name;
}

QString TJournal::Begin(const TRaceSnapshot& state, const QString& event) {
  writer_.Close();
  QString kept;
  if (QFileInfo::exists(path_)) {
    const TJournalContents old = ReadJournal(path_);
    // A journal in which nothing happened is not worth keeping; anything else is.
    if (old.Closed && !old.HasContent) {
      QFile::remove(path_);
    } else {
      kept = DatedName();
      if (!QFile::rename(path_, kept)) {
        Fail(QStringLiteral("Das alte Rennjournal konnte nicht nach %1 umbenannt werden.").arg(kept));
        return {};
      }
    }
  }
  seq_ = 0;
  shadow_ = TRaceSnapshot{};
  if (failed_) return kept;
  if (!writer_.Open(path_)) {
    Fail(writer_.Error());
    return kept;
  }
  Write(event, state, true);
  return kept;
}

void TJournal::Record(const QString& event, const TRaceSnapshot& state) { Write(event, state, false); }

void TJournal::Record(const QString& event, const TRaceSnapshot& state, const std::vector<QStringList>& rows,
                      const std::vector<int32_t>* touched) {
  Write(event, state, rows, touched, false);
}

void TJournal::Rotate(const TRaceSnapshot& state) {
  Write(QStringLiteral("RESET"), state, true);
  Write(QStringLiteral("CLOSE"), state, true);
  Begin(state, QStringLiteral("OPEN"));
}

void TJournal::Close(const TRaceSnapshot& state) {
  Write(QStringLiteral("CLOSE"), state, true);
  writer_.Close();
}

void TJournal::Leave() { writer_.Close(); }

QString TJournal::TakeError() {
  QString error;
  error.swap(error_);
  return error;
}

void TJournal::Fail(const QString& reason) {
  if (failed_) return;
  failed_ = true;
  error_ = QStringLiteral("Das Rennjournal %1 kann nicht geschrieben werden: %2\n"
                          "Das Rennen läuft weiter, ist aber nicht mehr gegen einen Absturz gesichert.")
               .arg(QDir::toNativeSeparators(QFileInfo(path_).absoluteFilePath()), reason);
  writer_.Close();
}

void TJournal::Write(const QString& event, const TRaceSnapshot& state, const std::vector<QStringList>& rows,
                     const std::vector<int32_t>* touched, bool force) {
  if (failed_ || !writer_.IsOpen()) return;
  TJournalRecord r;
  r.RowCount = static_cast<int32_t>(rows.size());
  const size_t written = shadow_.Rows.size();
  auto compare = [&](size_t i) {
    const QStringList& row = rows[i];
    const bool changed = i < written ? row != shadow_.Rows[i] : !IsEmptyRow(row);
    if (changed) r.Rows.emplace_back(static_cast<int32_t>(i), row);
  };
  if (touched) {
    // Rows beyond those last written are always looked at: a line names the rows that came.
    for (const int32_t i : *touched)
      if (i >= 0 && static_cast<size_t>(i) < std::min(written, rows.size())) compare(static_cast<size_t>(i));
    for (size_t i = written; i < rows.size(); ++i) compare(i);
  } else {
    for (size_t i = 0; i < rows.size(); ++i) compare(i);
  }
  // The correction list only grows until the protocol is emptied: a line carries its new
  // entries, or all of them when it is not the list the line before ended with.
  r.CorrectionCount = static_cast<int32_t>(state.Corrections.size());
  const bool grown = !force && state.Corrections.size() >= shadow_.Corrections.size() &&
                     state.Corrections.mid(0, shadow_.Corrections.size()) == shadow_.Corrections;
  r.NewCorrections = grown ? state.Corrections.mid(shadow_.Corrections.size()) : state.Corrections;
  // Open times come and go anywhere in the list: a line carries what lies between the entries
  // it shares at the front and at the back with the list the line before left.
  const bool openTimesChanged = state.OpenTimes != shadow_.OpenTimes;
  r.OpenTimeCount = static_cast<int32_t>(state.OpenTimes.size());
  if (force || openTimesChanged) {
    const QStringList& now = state.OpenTimes;
    const QStringList& before = shadow_.OpenTimes;
    const qsizetype shorter = std::min(now.size(), before.size());
    qsizetype front = 0;
    while (!force && front < shorter && now[front] == before[front]) ++front;
    qsizetype back = 0;
    while (!force && back < shorter - front && now[now.size() - 1 - back] == before[before.size() - 1 - back]) ++back;
    r.OpenTimes = now.mid(front, now.size() - front - back);
    if (front + back > 0) r.OpenTimesKept = std::make_pair(static_cast<int32_t>(front), static_cast<int32_t>(back));
  }
  r.StationToken = state.StationToken;
  r.StationIdCount = static_cast<int32_t>(state.StationIds.size());
  const bool idsGrown = !force && state.StationIds.size() >= shadow_.StationIds.size() &&
                        state.StationIds.mid(0, shadow_.StationIds.size()) == shadow_.StationIds;
  r.NewStationIds = idsGrown ? state.StationIds.mid(shadow_.StationIds.size()) : state.StationIds;
  const bool stateChanged = state.State != shadow_.State || state.RaceStartTick != shadow_.RaceStartTick ||
                            state.RoundLen != shadow_.RoundLen || state.LapTable != shadow_.LapTable ||
                            state.CanSort != shadow_.CanSort || rows.size() != written ||
                            state.Corrections != shadow_.Corrections || openTimesChanged ||
                            state.StationToken != shadow_.StationToken || state.StationIds != shadow_.StationIds;
  if (!force && !stateChanged && r.Rows.empty()) return;

  r.Seq = ++seq_;
  r.Event = event;
  r.Tick = platform::GetTickCount();
  r.Wall = platform::Now().toMSecsSinceEpoch();
  r.Boot = boot_;
  r.State = state.State;
  r.RaceStartTick = state.RaceStartTick;
  r.RoundLen = state.RoundLen;
  r.LapTable = state.LapTable;
  r.CanSort = state.CanSort;
  r.SelectedRow = state.SelectedRow;
  if (!writer_.Append(EncodeJournalLine(r))) {
    Fail(writer_.Error());
    return;
  }
  // The copy of what was written follows the line: only its rows change, unless every row was
  // looked at.
  std::vector<QStringList> shadowRows = std::move(shadow_.Rows);
  shadow_ = state;
  if (touched) {
    shadowRows.resize(rows.size());
    for (const auto& [index, cells] : r.Rows) shadowRows[static_cast<size_t>(index)] = cells;
    shadow_.Rows = std::move(shadowRows);
  } else if (&rows != &state.Rows) {
    shadow_.Rows = rows;
  }
}

// --- Lock

TJournalLock::~TJournalLock() { Release(); }

TJournalLock::TResult TJournalLock::Acquire(const QString& path) {
  Release();
  const QByteArray name = QFile::encodeName(path);
  for (;;) {
    fd_ = ::open(name.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd_ < 0) return TResult::Failed;
    if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
      const int error = errno;
      ::close(fd_);
      fd_ = -1;
      return error == EWOULDBLOCK ? TResult::Busy : TResult::Failed;
    }
    // The program before may have removed the file between our open and our lock: a lock on
    // a file no longer in the folder holds nobody off, so take the one that is there now.
    struct stat held {}, named {};
    if (::fstat(fd_, &held) == 0 && ::stat(name.constData(), &named) == 0 && held.st_dev == named.st_dev &&
        held.st_ino == named.st_ino) {
      path_ = name;
      return TResult::Acquired;
    }
    ::close(fd_);
    fd_ = -1;
  }
}

void TJournalLock::Release() {
  if (fd_ < 0) return;
  // Removed while still held, so no other program can take the old file.
  ::unlink(path_.constData());
  ::flock(fd_, LOCK_UN);
  ::close(fd_);
  fd_ = -1;
}
