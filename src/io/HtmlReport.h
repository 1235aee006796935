#pragma once
// The "Zeitenprotokoll" web page: the protocol's twelve visible columns in the grid's row order,
// in the program's 8-bit character set. Texts from the grid and the title are escaped, so a name
// cannot put markup into a published page, and a character outside that set is written as a
// numeric reference.
#include <QString>
#include <QStringList>
#include <vector>

#include "race/Corrections.h"

class QWidget;
class TMyStringGrid;

// The maker's addresses as the page names them.
inline constexpr const char* kMakerHost = "quorvex.example";
inline constexpr const char* kMakerAddress = "https://quorvex.example/";
inline constexpr const char* kWebDesignerAddress = "https://quorvex.example/webdesign";

// "&", "<", ">" and '"' as entities; characters outside Windows-1252 as "&#NNN;".
QString HtmlEscape(const QString& text);

// A body cell: the first "," turned into ".", then "<td><h6>-" for "-" and "<td>" + text else.
QString HtmlBodyCell(const QString& cellText);

// Every line of the page, without line ends. The corrections of the race, if any, are listed
// in a second table under the protocol.
QStringList HtmlReportLines(const TMyStringGrid& grid, const QString& title,
                            const std::vector<TCorrection>& corrections = {});

// The error text of a file that could not be written.
QString WriteErrorText(const QString& fileName);
// Shows it in an error box.
void ShowWriteError(const QString& fileName, QWidget* parent);

// Writes the page (title: the application title). When the file cannot be written, nothing
// changes on disk, the error box is shown and the result is false.
bool WriteHtmlReport(const TMyStringGrid& grid, const QString& fileName, QWidget* parent = nullptr,
                     const std::vector<TCorrection>& corrections = {});

// The fixed name of the web-page and print commands: the application title + ".html", in the
// working folder.
QString ReportFileName();

// The web-page and print commands: write the report under its fixed name, then "open" it
// (tag 0) or "print" it (tag 1) through the shell; any other tag only writes. Nothing is opened
// or printed when the page could not be written, so no older report goes out in its place.
void PublishHtmlReport(const TMyStringGrid& grid, int tag, QWidget* parent = nullptr,
                       const std::vector<TCorrection>& corrections = {});
