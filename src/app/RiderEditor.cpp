#include "app/RiderEditor.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTimer>

#include "grid/SortGrid.h"
#include "race/Protocol.h"

TRiderEditor::TRiderEditor(TSortGrid& grid) : QFrame(grid.viewport()), grid_(grid) {
  setObjectName(QStringLiteral("RiderEditor"));
  setFrameShape(QFrame::NoFrame);
  Number = new QLineEdit(this);
  Number->setObjectName(QStringLiteral("RiderEditorNumber"));
  Number->setAccessibleName(QStringLiteral("Startnummer ändern"));
  Number->setMaxLength(5);
  Name = new QLineEdit(this);
  Name->setObjectName(QStringLiteral("RiderEditorName"));
  Name->setAccessibleName(QStringLiteral("Name ändern"));
  Category = new QComboBox(this);
  Category->setObjectName(QStringLiteral("RiderEditorCategory"));
  Category->setAccessibleName(QStringLiteral("Kategorie ändern"));
  Category->setEditable(true);
  Category->setInsertPolicy(QComboBox::NoInsert);
  for (QWidget* field : {static_cast<QWidget*>(Number), static_cast<QWidget*>(Name), static_cast<QWidget*>(Category)})
    field->installEventFilter(this);
  Category->lineEdit()->installEventFilter(this);
  setTabOrder(Number, Name);
  setTabOrder(Name, Category);
  hide();
}

void TRiderEditor::Open(int32_t row, int32_t focusCol, const QStringList& categories) {
  row_ = row;
  Number->setText(grid_.Cells(pcNumber, row));
  Name->setText(grid_.Cells(pcName, row));
  Category->clear();
  Category->addItems(categories);
  Category->setEditText(grid_.Cells(pcCategory, row));
  Place();
  show();
  raise();
  QWidget* focus = focusCol == pcName ? static_cast<QWidget*>(Name)
                                      : focusCol == pcCategory ? static_cast<QWidget*>(Category) : Number;
  focus->setFocus(Qt::OtherFocusReason);
  if (auto* edit = qobject_cast<QLineEdit*>(focus)) edit->selectAll();
}

void TRiderEditor::Follow(int32_t row) {
  if (!IsOpen()) return;
  if (row < 1) {
    Close();
    return;
  }
  row_ = row;
  Place();
}

void TRiderEditor::Close() {
  const bool hadFocus = isAncestorOf(QApplication::focusWidget());
  hide();
  row_ = -1;
  if (hadFocus) grid_.setFocus(Qt::OtherFocusReason);
}

void TRiderEditor::Place() {
  // Over the three cells, or over the row's place when a cell is scrolled out of sight.
  const QRect number = grid_.CellRect(pcNumber, row_).ToQRect();
  const QRect name = grid_.CellRect(pcName, row_).ToQRect();
  const QRect category = grid_.CellRect(pcCategory, row_).ToQRect();
  if (number.isEmpty() || name.isEmpty() || category.isEmpty()) {
    Close();
    return;
  }
  const QRect all = number.united(name).united(category);
  setGeometry(all.adjusted(0, -2, 0, 2));
  Number->setGeometry(number.left() - all.left(), 0, number.width(), height());
  Name->setGeometry(name.left() - all.left(), 0, name.width(), height());
  Category->setGeometry(category.left() - all.left(), 0, std::max(category.width(), 80), height());
}

bool TRiderEditor::Commit() {
  if (!IsOpen() || committing_) return true;
  committing_ = true;
  const QString refusal = OnCommit ? OnCommit(Number->text(), Name->text(), Category->currentText()) : QString();
  committing_ = false;
  if (!refusal.isEmpty()) {
    if (OnRefused) OnRefused(refusal);
    return false;
  }
  Close();
  return true;
}

bool TRiderEditor::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress) {
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Escape) {
      Close();
      return true;
    }
    if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) && !Category->view()->isVisible()) {
      Commit();
      return true;
    }
  }
  if (event->type() == QEvent::FocusOut) {
    // Leaving the row takes the values; moving between its fields does not. The new focus is
    // known only once the event has passed.
    QTimer::singleShot(0, this, [this] {
      if (IsOpen() && !isAncestorOf(QApplication::focusWidget()) && !Category->view()->isVisible() &&
          !Commit())
        Close();
    });
  }
  return QFrame::eventFilter(watched, event);
}
