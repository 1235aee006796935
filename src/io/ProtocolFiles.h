#pragma once
// The protocol as a file: the save dialog's file types and default name, the tab-separated text
// and the choice of writer by file type.
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

#include "race/Corrections.h"

class QWidget;
class TMyStringGrid;
class TSortGrid;

// The save dialog's file types, 1-based as the dialog counts them.
enum TSaveFileType : int { sfCSV = 1, sfHTML = 2, sfText = 3 };

// The three descriptions the save dialog shows; the defaults stand when the platform has none.
struct TFileTypeDescriptions {
  QString Spreadsheet = QStringLiteral("MS Excel");
  QString WebPage = QStringLiteral("Webseite");
  QString Text = QStringLiteral("Textdatei");
};

// Asks the platform for "htmlfile", "txtfile" and "Excel.CSV", in that order. An empty answer
// keeps the default.
TFileTypeDescriptions ReadFileTypeDescriptions(const std::function<QString(const QString&)>& lookup);
TFileTypeDescriptions ReadFileTypeDescriptions();

// "MS Excel (*.csv)|*.csv|Webseite (*.html)|*.html|Textdatei (*.txt)|*.txt" with the defaults.
QString SaveDialogFilter(const TFileTypeDescriptions& descriptions);

// "yyyy-mm-dd-hh-mm" of the given local time; no extension.
QString TimestampFileName(const QDateTime& when);

// The lines of the tab-separated text: every row, the twelve visible columns (all but the last
// two), an empty cell as one blank, every field followed by a TAB.
QStringList ProtocolTextLines(const TMyStringGrid& grid);

// Writes the tab-separated text. A failure is reported in an error box; false then.
bool SaveProtocolText(const TMyStringGrid& grid, const QString& fileName, QWidget* parent = nullptr);

// Writes the protocol in the chosen file type: 1 the grid's CSV, 2 the HTML report, anything
// else the tab-separated text. None of them touches the grid's Modified flag.
void SaveProtocolAs(TSortGrid& grid, const QString& fileName, int fileType, QWidget* parent = nullptr,
                    const std::vector<TCorrection>& corrections = {});

// The file dialog's settings that live as long as the window; the last choice of file type is
// kept for the next opening.
class TSaveDialog {
public:
  QString Title = QStringLiteral("Protokoll speichern unter");
  QString Filter;
  QString InitialDir;
  QString FileName;
  int FilterIndex = sfHTML;

  // Opens the platform's save dialog; true with FileName and FilterIndex set when confirmed.
  bool Execute(QWidget* parent);
};
