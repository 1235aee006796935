#include "dialogs/CorrectionDialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "platform/Sound.h"

TCorrectionDialog::TCorrectionDialog(QWidget* parent) : QDialog(parent) {
  setModal(false);
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
  // The race keys of the window behind keep working while this has the focus.
  setProperty("raceKeys", true);
  auto* column = new QVBoxLayout(this);
  Question = new QLabel(this);
  Question->setWordWrap(true);
  Answer = new QLineEdit(this);
  Question->setBuddy(Answer);
  Refusal = new QLabel(this);
  Refusal->setWordWrap(true);
  Refusal->setStyleSheet(QStringLiteral("color: #C00000; font-weight: bold;"));
  Refusal->setAccessibleName(QStringLiteral("Hinweis"));
  Refusal->hide();
  OKBtn = new QPushButton(QStringLiteral("OK"), this);
  OKBtn->setDefault(true);
  CancelBtn = new QPushButton(QStringLiteral("Abbrechen"), this);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(OKBtn);
  buttons->addWidget(CancelBtn);
  column->addWidget(Question);
  column->addWidget(Answer);
  column->addWidget(Refusal);
  column->addLayout(buttons);
  // The dialog takes the size its texts need, also when the refusal line comes and goes.
  column->setSizeConstraint(QLayout::SetFixedSize);
  Question->setFixedWidth(360);
  Refusal->setFixedWidth(360);
  connect(OKBtn, &QPushButton::clicked, this, [this] { Confirm(); });
  connect(Answer, &QLineEdit::returnPressed, this, [this] { Confirm(); });
  connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
}

void TCorrectionDialog::Ask(const QString& caption, const QString& question, const QString& preset,
                            std::function<QString(const QString&)> accept) {
  accept_ = std::move(accept);
  setWindowTitle(caption);
  Question->setText(question);
  Answer->setAccessibleName(question);
  Answer->setText(preset);
  Answer->selectAll();
  Refusal->clear();
  Refusal->hide();
  Place();
  show();
  raise();
  activateWindow();
  Answer->setFocus(Qt::OtherFocusReason);
}

void TCorrectionDialog::Place() {
  adjustSize();
  // Over the lower right of the protocol, not over the clock and the command buttons.
  if (const QWidget* window = parentWidget() ? parentWidget()->window() : nullptr) {
    const QRect frame = window->geometry();
    move(frame.right() - width() - 16, frame.bottom() - height() - 16);
  }
}

void TCorrectionDialog::Confirm() {
  if (!accept_) return;
  const QString refusal = accept_(Answer->text());
  if (refusal.isEmpty()) {
    accept_ = nullptr;
    accept();
    return;
  }
  platform::Sound().Beep();
  Refusal->setText(refusal);
  Refusal->show();
  Place();
  Answer->setFocus(Qt::OtherFocusReason);
  Answer->selectAll();
}
