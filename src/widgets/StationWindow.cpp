#include "widgets/StationWindow.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "widgets/QrCode.h"

namespace {
constexpr int kQrModulePixels = 4;
const char* const kColumns[] = {"Name", "Rolle", "Letzter Kontakt", "Genauigkeit", "Zeiten"};
}  // namespace

TStationWindow::TStationWindow(QWidget* parent) : QDialog(parent) {
  setObjectName("StationWindow");
  setWindowTitle(QStringLiteral("Station verbinden"));
  setModal(false);
  auto* column = new QVBoxLayout(this);
  auto* top = new QHBoxLayout;
  code_ = new TQrCodeView(this);
  code_->setAccessibleName(QStringLiteral("QR-Code des Stationslinks"));
  top->addWidget(code_, 0, Qt::AlignTop);
  hint_ = new QLabel(this);
  hint_->setWordWrap(true);
  hint_->setText(QStringLiteral("Mit dem Handy scannen: das Handy wird zur Station (Zeit, Nummern, Zeit + Nummer "
                                "oder Start). Wer diesen Link hat, kann Zeiten senden; \u201eNeuer Code\u201c macht "
                                "alle bisherigen Links ungültig."));
  top->addWidget(hint_, 1);
  column->addLayout(top);

  auto* linkRow = new QHBoxLayout;
  link_ = new QLineEdit(this);
  link_->setReadOnly(true);
  link_->setAccessibleName(QStringLiteral("Stationslink"));
  linkRow->addWidget(link_, 1);
  newCode_ = new QPushButton(QStringLiteral("Neuer Code"), this);
  newCode_->setAutoDefault(false);
  linkRow->addWidget(newCode_);
  column->addLayout(linkRow);

  list_ = new QTableWidget(0, int(std::size(kColumns)), this);
  list_->setAccessibleName(QStringLiteral("Stationen"));
  QStringList headers;
  for (const char* name : kColumns) headers << QString::fromUtf8(name);
  list_->setHorizontalHeaderLabels(headers);
  list_->verticalHeader()->hide();
  list_->horizontalHeader()->setStretchLastSection(true);
  list_->setSelectionBehavior(QAbstractItemView::SelectRows);
  list_->setSelectionMode(QAbstractItemView::SingleSelection);
  list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  column->addWidget(list_, 1);

  drop_ = new QPushButton(QStringLiteral("Station trennen"), this);
  drop_->setAutoDefault(false);
  column->addWidget(drop_, 0, Qt::AlignRight);

  connect(newCode_, &QPushButton::clicked, this, [this] {
    if (OnNewCode) OnNewCode();
  });
  connect(drop_, &QPushButton::clicked, this, [this] {
    const int row = list_->currentRow();
    if (row >= 0 && row < static_cast<int>(stations_.size()) && OnDrop) OnDrop(stations_[static_cast<size_t>(row)].Name);
  });
  connect(list_, &QTableWidget::itemSelectionChanged, this, [this] { UpdateDrop(); });
  SetLink({});
  UpdateDrop();
  resize(560, 460);
}

void TStationWindow::SetLink(const QString& link) {
  code_->SetText(link);
  code_->setFixedSize(code_->SizeFor(kQrModulePixels));
  code_->setVisible(!link.isEmpty());
  link_->setText(link.isEmpty() ? QStringLiteral("Die Live-Ergebnisse im Netzwerk sind aus (Einstellungen).") : link);
  newCode_->setEnabled(!link.isEmpty());
}

void TStationWindow::SetStations(const std::vector<TStationLine>& stations) {
  if (stations == stations_) return;
  // The selection follows the station, not the line it was on.
  const int current = list_->currentRow();
  const QString selected = current >= 0 && current < static_cast<int>(stations_.size())
                               ? stations_[static_cast<size_t>(current)].Name
                               : QString();
  stations_ = stations;
  list_->setRowCount(static_cast<int>(stations_.size()));
  int keep = -1;
  for (int r = 0; r < static_cast<int>(stations_.size()); ++r) {
    const TStationLine& line = stations_[static_cast<size_t>(r)];
    const QString cells[] = {line.Name, line.Role, line.LastContact, line.Accuracy, QString::number(line.Passes)};
    for (int c = 0; c < int(std::size(cells)); ++c) {
      QTableWidgetItem* item = list_->item(r, c);
      if (!item) list_->setItem(r, c, item = new QTableWidgetItem);
      item->setText(cells[c]);
    }
    if (line.Name == selected) keep = r;
  }
  if (keep >= 0) list_->selectRow(keep); else list_->clearSelection();
  UpdateDrop();
}

void TStationWindow::UpdateDrop() {
  const int row = list_->currentRow();
  drop_->setEnabled(!list_->selectedItems().isEmpty() && row >= 0 && row < static_cast<int>(stations_.size()));
}
