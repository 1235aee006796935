#pragma once
// The in-place editor of a protocol row's start number, name and category: three fields laid
// over the row's cells. Enter or leaving the row takes the values, Escape drops them. A value
// the protocol refuses keeps the editor open with the reason shown by the window.
#include <QFrame>
#include <functional>

class QComboBox;
class QLineEdit;
class TSortGrid;

class TRiderEditor : public QFrame {
  Q_OBJECT
public:
  explicit TRiderEditor(TSortGrid& grid);

  // Opens over row with its values; the field of column focusCol (1, 2 or 3) gets the focus.
  void Open(int32_t row, int32_t focusCol, const QStringList& categories);
  // Moves the fields over another row (the row moved) or closes when row is -1.
  void Follow(int32_t row);
  bool IsOpen() const { return isVisible(); }
  int32_t Row() const { return row_; }
  void Close();

  // Takes the values; returns a refusal, or empty when they were taken.
  std::function<QString(const QString& number, const QString& name, const QString& category)> OnCommit;
  // A refusal to show.
  std::function<void(const QString& refusal)> OnRefused;

  QLineEdit* Number;
  QLineEdit* Name;
  QComboBox* Category;

protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  void Place();
  bool Commit();

  TSortGrid& grid_;
  int32_t row_ = -1;
  bool committing_ = false;
};
