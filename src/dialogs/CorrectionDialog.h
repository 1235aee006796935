#pragma once
// A question of a correction beside the race window: one line of input, "OK" and "Abbrechen",
// and a line that says why an answer was refused. It is not modal: the race goes on behind it,
// the clock runs, and the race keys act on the window while it is open.
#include <QDialog>
#include <functional>

class QLabel;
class QLineEdit;
class QPushButton;

class TCorrectionDialog : public QDialog {
  Q_OBJECT
public:
  explicit TCorrectionDialog(QWidget* parent = nullptr);

  // Shows the question. "OK" hands the answer to accept: an empty result closes the dialog;
  // any other text is the refusal, shown in the dialog, which stays open for a better answer.
  void Ask(const QString& caption, const QString& question, const QString& preset,
           std::function<QString(const QString& answer)> accept);

  QLabel* Question;
  QLineEdit* Answer;
  QLabel* Refusal;
  QPushButton* OKBtn;
  QPushButton* CancelBtn;

private:
  void Confirm();
  // Takes the size the texts need, over the lower right of the window behind.
  void Place();
  std::function<QString(const QString&)> accept_;
};
