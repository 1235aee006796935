#include "platform/FileTypes.h"

#include <QLocale>
#include <QMimeDatabase>

namespace platform {

QString FileTypeDescription(const QString& progId) {
  QString mimeName;
  if (progId.compare(u"htmlfile", Qt::CaseInsensitive) == 0) mimeName = QStringLiteral("text/html");
  else if (progId.compare(u"txtfile", Qt::CaseInsensitive) == 0) mimeName = QStringLiteral("text/plain");
  else if (progId.compare(u"Excel.CSV", Qt::CaseInsensitive) == 0) mimeName = QStringLiteral("text/csv");
  else return {};

  const QMimeType type = QMimeDatabase().mimeTypeForName(mimeName);
  if (!type.isValid()) return {};
  // The MIME database translates by the default locale; the program speaks German whatever the
  // system's language is. An entry without a German text has none for us.
  const QLocale previous;
  QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
  const QString german = type.comment();
  QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
  const QString english = type.comment();
  QLocale::setDefault(previous);
  if (german == english) return {};
  return german;
}

}  // namespace platform
