#include "grid/CommaList.h"

#include "platform/AnsiText.h"

namespace {

bool IsBlankOrControl(QChar c) { return c.unicode() <= 0x20; }
bool IsSkippable(QChar c) { return c.unicode() >= 0x01 && c.unicode() <= 0x20; }

bool NeedsQuotes(const QString& item) {
  for (QChar c : item) {
    if (IsBlankOrControl(c) || c == '"' || c == ',') return true;
  }
  return false;
}

}  // namespace

QString WriteCommaList(const QStringList& items) {
  if (items.size() == 1 && items.front().isEmpty()) return "\"\"";
  QStringList written;
  written.reserve(items.size());
  for (const QString& item : items) {
    if (NeedsQuotes(item)) {
      written << '"' + QString(item).replace("\"", "\"\"") + '"';
    } else {
      written << item;
    }
  }
  return written.join(',');
}

QStringList ReadCommaList(const QString& text) {
  QStringList items;
  const int n = text.size();
  int i = 0;
  auto skip = [&] {
    while (i < n && IsSkippable(text[i])) ++i;
  };
  skip();
  while (i < n) {
    QString item;
    if (text[i] == '"') {
      ++i;
      while (i < n) {
        if (text[i] == '"') {
          if (i + 1 < n && text[i + 1] == '"') {
            item += '"';
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        item += text[i++];
      }
    } else {
      // An unquoted NUL ends the text: nothing skips it, so reading on would not advance.
      if (text[i] == QChar(0)) break;
      const int start = i;
      while (i < n && text[i] != ',' && !IsBlankOrControl(text[i])) ++i;
      item = text.mid(start, i - start);
    }
    items << item;
    skip();
    if (i < n && text[i] == ',') {
      if (i == n - 1) items << QString();
      ++i;
      skip();
    }
  }
  return items;
}

QStringList SplitCommaListLines(const QString& text) {
  QStringList lines;
  const qsizetype n = text.size();
  qsizetype start = 0;
  // Where the reader of one list stands: between items, in an unquoted one, in a quoted one.
  enum class TState { Between, Plain, Quoted } state = TState::Between;
  for (qsizetype i = 0; i < n; ++i) {
    const QChar c = text.at(i);
    if (state == TState::Quoted) {
      if (c == u'"') {
        if (i + 1 < n && text.at(i + 1) == u'"')
          ++i;  // a doubled quote stays inside
        else
          state = TState::Between;
      }
      continue;
    }
    if (c == u'\r' || c == u'\n') {
      lines.append(text.mid(start, i - start));
      if (c == u'\r' && i + 1 < n && text.at(i + 1) == u'\n') ++i;
      start = i + 1;
      state = TState::Between;
      continue;
    }
    if (state == TState::Between) {
      if (c == u'"')
        state = TState::Quoted;
      else if (c != u',' && !IsBlankOrControl(c))
        state = TState::Plain;
    } else if (c == u',' || IsBlankOrControl(c)) {
      state = TState::Between;
    }
  }
  if (state == TState::Quoted)
    lines.append(platform::SplitLines(text.mid(start)));
  else if (start < n)
    lines.append(text.mid(start));
  return lines;
}
