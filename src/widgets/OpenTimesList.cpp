#include "widgets/OpenTimesList.h"

#include <QFont>

TOpenTimesList::TOpenTimesList(QWidget* parent) : QListWidget(parent) {
  setObjectName(QStringLiteral("ListOpenTimes"));
  setAccessibleName(QStringLiteral("Offene Zeiten"));
  setFocusPolicy(Qt::NoFocus);
  setSelectionMode(QAbstractItemView::NoSelection);
  setToolTip(QStringLiteral("Offene Zeiten: Enter ohne Nummer oder „+“ auf dem Ziffernblock nimmt eine Zeit; "
                            "Nummer + Enter gibt die markierte einem Fahrer; ↑/↓ verschiebt die Marke, Entf löscht sie."));
  connect(this, &QListWidget::itemPressed, this, [this](QListWidgetItem* item) {
    if (OnChosen) OnChosen(row(item));
  });
}

void TOpenTimesList::Show(const std::vector<TOpenTimeLine>& lines) {
  if (lines == lines_) return;
  lines_ = lines;
  clear();
  for (const TOpenTimeLine& line : lines_) {
    auto* item = new QListWidgetItem((line.Marked ? QStringLiteral("▶ ") : QStringLiteral("   ")) + line.Text, this);
    QFont font = item->font();
    font.setBold(line.Marked);
    item->setFont(font);
    if (line.Old) item->setForeground(QColor(0xB0, 0, 0));
    if (line.Marked) {
      item->setBackground(QColor(0xFF, 0xF0, 0xA0));
      scrollToItem(item);
    }
  }
}
