#pragma once
// Types of the sort grid's in-cell controls, row operations and print options.
#include <QImage>
#include <QPoint>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>

class QObject;
class QMenu;
class QListWidget;
class QMouseEvent;

// After a check box cell was switched.
using TSetChecked = std::function<void(QObject* Sender, int32_t ACol, int32_t ARow, bool State)>;
// Fills the drop-down list of a cell; Width and Height in pixels, 0 for automatic.
using TGetCombobox = std::function<void(QObject* Sender, int32_t ACol, int32_t ARow, QStringList& Strs,
                                        int32_t& Width, int32_t& Height, bool& Sorted)>;
// After a list item was taken into a cell.
using TSetCombobox = std::function<void(QObject* Sender, int32_t ACol, int32_t ARow, const QString& Str)>;
// The ellipsis button of a cell was pressed.
using TSetEllipsis = std::function<void(QObject* Sender, int32_t ACol, int32_t ARow)>;
using TCellValidateEvent = std::function<void(QObject* Sender, int32_t ACol, int32_t ARow, const QString& OldValue,
                                              QString& NewValue, bool& Valid)>;
// A row or column was inserted or deleted; the number is the row's or the column's.
using TUpdateGridEvent = std::function<void(QObject* Sender, int32_t ARow)>;
// Gets a copy of one row's cell texts; Accept comes in false.
using TSetFilterEvent = std::function<void(QStringList& ARows, bool& Accept)>;
using TSearchEvent = TSetFilterEvent;

enum TMyPrintRange { prAll, prSelected };

// Stored with the grid and nothing more: the grid has no printing of its own.
class TPrintOptions {
public:
  QString JobTitle() const { return FJobTitle; }
  void SetJobTitle(const QString& value) { FJobTitle = value; }
  QString PageTitle() const { return FPageTitle; }
  void SetPageTitle(const QString& value) { FPageTitle = value; }
  uint32_t Copies() const { return FCopies; }
  void SetCopies(uint32_t value) { FCopies = value; }
  TMyPrintRange PrintRange() const { return FPrintRange; }
  void SetPrintRange(TMyPrintRange value) { FPrintRange = value; }
  uint32_t PreviewPage() const { return FPreviewPage; }
  void SetPreviewPage(uint32_t value) { FPreviewPage = value; }
  uint32_t FromRow() const { return FFromRow; }
  void SetFromRow(uint32_t value) { FFromRow = value; }
  uint32_t ToRow() const { return FToRow; }
  void SetToRow(uint32_t value) { FToRow = value; }

private:
  QString FJobTitle;
  QString FPageTitle;
  uint32_t FCopies = 0;
  TMyPrintRange FPrintRange = prAll;
  uint32_t FPreviewPage = 0;
  uint32_t FFromRow = 0;
  uint32_t FToRow = 0;
};

// One of the grid's bitmaps ("UP", "DOWN", "CHECKED", "UNCHECKED", "COMBOBOX", "ELLIPSIS");
// a null image when the resource is missing.
QImage LoadGridBitmap(const char* name);

// A header text cut to the available width: it ends in two dots and keeps at least three
// characters (a two-character text becomes the two dots).
QString ShortenHeaderText(QString text, const std::function<int(const QString&)>& width, int32_t available);
