#include "widgets/LivePanel.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>

#include "widgets/QrCode.h"

namespace {
constexpr int kQrModulePixels = 3;
}  // namespace

TLivePanel::TLivePanel(QWidget* parent) : QFrame(parent) {
  setObjectName("PanelLive");
  setFrameShape(QFrame::Box);
  setStyleSheet(QStringLiteral("QFrame#PanelLive { background: white; border: 1px solid #808080; }"));
  setCursor(Qt::PointingHandCursor);
  setToolTip(QStringLiteral("Klicken: QR-Code zeigen oder verbergen"));
  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(4, 2, 8, 2);
  row->setSpacing(8);
  code_ = new TQrCodeView(this);
  row->addWidget(code_, 0, Qt::AlignVCenter);
  text_ = new QLabel(this);
  text_->setObjectName("LabLive");
  text_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  text_->setTextInteractionFlags(Qt::NoTextInteraction);
  text_->setAccessibleName(QStringLiteral("Live-Ergebnisse"));
  // A long folder name is cut rather than widening the window.
  text_->setMinimumWidth(1);
  row->addWidget(text_, 1);
  stations_ = new QPushButton(QStringLiteral("Station verbinden…"), this);
  stations_->setAutoDefault(false);
  // A click here is no click on the panel: the code stays as it is.
  stations_->setCursor(Qt::ArrowCursor);
  stations_->setFocusPolicy(Qt::NoFocus);
  stations_->hide();
  row->addWidget(stations_, 0, Qt::AlignVCenter);
  hide();
}

void TLivePanel::Show(const QString& address, const QStringList& lines) {
  code_->SetText(address);
  code_->setFixedSize(code_->SizeFor(kQrModulePixels));
  text_->setText(lines.join(QLatin1Char('\n')));
  stations_->setVisible(!address.isEmpty());
  setVisible(!lines.isEmpty());
  FitCode();
}

void TLivePanel::SetRoom(int height) {
  room_ = height;
  FitCode();
}

void TLivePanel::mousePressEvent(QMouseEvent* event) {
  event->accept();
  codeWanted_ = !codeWanted_;
  FitCode();
}

void TLivePanel::FitCode() {
  const QMargins margins = contentsMargins() + layout()->contentsMargins();
  const int heightWithCode = std::max(code_->height(), text_->sizeHint().height()) + margins.top() + margins.bottom();
  code_->setVisible(codeWanted_ && !code_->Text().isEmpty() && heightWithCode <= room_);
}
