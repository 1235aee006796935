#pragma once
// The shared yes/no question: callers set Label1 to the question and show it modally; the answer
// is yes exactly when the modal result is mrYes.
#include <QDialog>
#include <QPixmap>

class QLabel;
class QPushButton;

class TFDlgYesNo : public QDialog {
  Q_OBJECT
public:
  explicit TFDlgYesNo(QWidget* parent = nullptr);

  // Relabels the two buttons; callers that do so set them back to "Ja" and "Nein".
  void SetButtonCaptions(const QString& yesCaption, const QString& noCaption);

  QLabel* Label1;
  QLabel* Icon;
  QPushButton* OKBtn;
  QPushButton* CancelBtn;

public slots:
  // Esc and closing the window answer no (modal result Cancel).
  void reject() override;
};

// The 32 x 32 question picture: a blue question mark in a white speech bubble.
QPixmap QuestionIcon();
