#include "dialogs/DlgYesNo.h"

#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>

#include "platform/AppTitle.h"
#include "platform/Modal.h"

QPixmap QuestionIcon() {
  QPixmap pixmap(32, 32);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  // The bubble with its tail to the lower left.
  QPainterPath bubble;
  bubble.addEllipse(QRectF(2.5, 1.5, 27, 22));
  QPainterPath tail;
  tail.moveTo(8, 18);
  tail.lineTo(5, 30);
  tail.lineTo(15, 21);
  tail.closeSubpath();
  bubble = bubble.united(tail);
  p.setPen(QPen(QColor(0, 0, 0), 1.2));
  p.setBrush(Qt::white);
  p.drawPath(bubble);
  QFont font(QStringLiteral("Liberation Serif"));
  font.setPixelSize(20);
  font.setBold(true);
  p.setFont(font);
  p.setPen(QColor(0, 0, 0xFF));
  p.drawText(QRectF(2.5, 1.5, 27, 22), Qt::AlignCenter, QStringLiteral("?"));
  return pixmap;
}

TFDlgYesNo::TFDlgYesNo(QWidget* parent) : QDialog(parent) {
  setWindowTitle(platform::ApplicationTitle());
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                 Qt::WindowCloseButtonHint);
  setFixedSize(222, 94);

  Icon = new QLabel(this);
  Icon->setGeometry(10, 12, 32, 32);
  Icon->setPixmap(QuestionIcon());
  Icon->setAttribute(Qt::WA_TranslucentBackground);
  Icon->setAccessibleName(QStringLiteral("Frage"));

  Label1 = new QLabel(QStringLiteral("?"), this);
  Label1->setGeometry(46, 4, 169, 49);
  Label1->setAlignment(Qt::AlignCenter);
  Label1->setWordWrap(true);

  OKBtn = new QPushButton(QStringLiteral("Ja"), this);
  OKBtn->setGeometry(30, 60, 75, 25);
  CancelBtn = new QPushButton(QStringLiteral("Nein"), this);
  CancelBtn->setGeometry(117, 60, 75, 25);
  connect(OKBtn, &QPushButton::clicked, this, [this] { done(mrYes); });
  connect(CancelBtn, &QPushButton::clicked, this, [this] { done(mrCancel); });
  setTabOrder(OKBtn, CancelBtn);
}

void TFDlgYesNo::SetButtonCaptions(const QString& yesCaption, const QString& noCaption) {
  OKBtn->setText(yesCaption);
  CancelBtn->setText(noCaption);
}

void TFDlgYesNo::reject() { done(mrCancel); }
