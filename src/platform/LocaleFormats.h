#pragma once
// The user's locale formats from one place. The C/POSIX locale counts as German (de_DE);
// tests can pin any locale.
#include <QChar>
#include <QDateTime>
#include <QLocale>
#include <QString>
#include <optional>

namespace platform {

QLocale FormatLocale();
// Pins the locale for tests; std::nullopt returns to the system's.
void PinFormatLocale(std::optional<QLocale> locale);

QChar DecimalSeparator();
QString ShortDateFormat();  // for example "dd.MM.yyyy"
QString ShortTimeFormat();  // for example "HH:mm"

// Conversions in the locale's formats, as the toolkit's StrToFloat and friends do.
std::optional<double> StrToFloat(const QString& text);
QString FloatToStr(double value);
std::optional<QDateTime> StrToDateTime(const QString& text);
std::optional<QTime> StrToTime(const QString& text);
QString FormatDateTime(const QString& pattern, const QDateTime& value);

}  // namespace platform
