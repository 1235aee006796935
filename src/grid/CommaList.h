#pragma once
// Comma lists: items joined by commas, an item quoted when it holds blanks, control
// characters, commas or quotes. The line form of the grid file and of secondary sort keys.
#include <QString>
#include <QStringList>

QString WriteCommaList(const QStringList& items);
QStringList ReadCommaList(const QString& text);

// Splits a file's text into its comma lists: a line ends at CR, LF or CR LF, except inside a
// quoted item, where a line break belongs to the item. A quote that is never closed (a file cut
// or damaged there) leaves the rest to be split at every line break.
QStringList SplitCommaListLines(const QString& text);
