#include "dialogs/CorrectionDialog.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

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
  setMinimumWidth(320);
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
  show();
  raise();
  activateWindow();
  Answer->setFocus(Qt::OtherFocusReason);
}

void TCorrectionDialog::Confirm() {
  if (!accept_) return;
  const QString refusal = accept_(Answer->text());
  if (refusal.isEmpty()) {
    accept_ = nullptr;
    accept();
    return;
  }
  QApplication::beep();
  Refusal->setText(refusal);
  Refusal->show();
  Answer->setFocus(Qt::OtherFocusReason);
  Answer->selectAll();
}
