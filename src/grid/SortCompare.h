#pragma once
// The comparison rules of the sort grid's styles. Each returns negative, zero or positive.
#include <QString>

// 'A'..'Z' become 'a'..'z'; every other character is left alone.
QString LowerAscii(const QString& text);

// Character by character on the bytes of the 8-bit code page; a proper prefix is smaller.
int ComparePlain(const QString& a, const QString& b);
// ComparePlain of LowerAscii(a) and LowerAscii(b), without making either.
int ComparePlainFolded(const QString& a, const QString& b);
// As numbers in the locale's format; the plain comparison when either does not convert.
int CompareNumeric(const QString& a, const QString& b);
// As date-and-time values in the locale's formats; plain when either does not convert.
int CompareDateTime(const QString& a, const QString& b);
// As times of day in the locale's format; plain when either does not convert.
int CompareTime(const QString& a, const QString& b);
// For texts that mix words and numbers: compares the parts where they differ as integers.
int CompareNumericExtended(const QString& a, const QString& b);

// A decimal 32-bit integer with optional blanks and sign, as the toolkit's StrToInt takes it.
bool TryStrToInt(const QString& text, int32_t& value);
