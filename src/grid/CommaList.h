#pragma once
// Comma lists: items joined by commas, an item quoted when it holds blanks, control
// characters, commas or quotes. The line form of the grid file and of secondary sort keys.
#include <QString>
#include <QStringList>

QString WriteCommaList(const QStringList& items);
QStringList ReadCommaList(const QString& text);
