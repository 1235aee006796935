#pragma once
// The open times: the instants taken without a number, oldest first, the one the next number
// goes to marked, the old ones in red. It never takes the focus, so the keys stay in the number
// field; a click on a line marks it.
#include <QListWidget>
#include <functional>
#include <vector>

#include <QString>

// One line of the list.
struct TOpenTimeLine {
  QString Text;         // "1.02,3", with the noted number or the device behind it
  bool Marked = false;  // the next to be numbered
  bool Old = false;     // taken a while ago: a number typed now hardly belongs to it
  bool operator==(const TOpenTimeLine&) const = default;
};

class TOpenTimesList : public QListWidget {
public:
  explicit TOpenTimesList(QWidget* parent = nullptr);
  void Show(const std::vector<TOpenTimeLine>& lines);
  const std::vector<TOpenTimeLine>& Lines() const { return lines_; }
  // A click on line index.
  std::function<void(int index)> OnChosen;

  static constexpr int kWidth = 150;

private:
  std::vector<TOpenTimeLine> lines_;
};
