#include <gtest/gtest.h>

#include <QAccessible>
#include <QMouseEvent>
#include <QTest>

#include "widgets/ExpectedList.h"

namespace {

// The pixels of a line drawn in the late colour (the text, not its pale background).
int LatePixels(const QImage& image, const QRect& line) {
  int count = 0;
  for (int y = line.top(); y <= line.bottom(); ++y)
    for (int x = line.left(); x <= line.right(); ++x)
      if (image.pixel(x, y) == TExpectedList::kLateText) ++count;
  return count;
}

// At any height and down to the narrowest width: a press on a line reports that line with its
// event, a press beside the lines nothing, and only a late line shows red.
TEST(ExpectedList, PressReportsTheLineAndLateLinesShowRed) {
  for (const QSize size : {QSize(208, 18 + 5 * 16), QSize(150, 18 + 3 * 16 + 7)}) {
    SCOPED_TRACE(size.width());
    TExpectedList list;
    list.resize(size);
    list.show();
    ASSERT_EQ(list.size(), size);  // the layout may make it as narrow as this
    EXPECT_EQ(list.accessibleName(), "Erwartet");
    list.SetLines({{"3", "Anna", "1", "12,0", false},
                   {"17", "Berta Beispielhaft-Mustermann", "2", "1.05,2", false},
                   {"5", "Carl", "0", "-41,3", true},
                   {"8", "Dora", "0", "", false}});
    ASSERT_EQ(list.Capacity(), (size.height() - 18) / 16);  // whole lines only

    std::vector<std::pair<int, Qt::MouseButton>> pressed;
    list.OnLinePressed = [&](int index, const QMouseEvent* event) { pressed.emplace_back(index, event->button()); };
    for (int index = 0; index < 4; ++index) QTest::mousePress(&list, Qt::LeftButton, {}, list.LineRect(index).center());
    QTest::mousePress(&list, Qt::RightButton, {}, list.LineRect(1).center());
    QTest::mousePress(&list, Qt::LeftButton, {}, QPoint(20, 5));  // the caption
    std::vector<std::pair<int, Qt::MouseButton>> wanted = {{0, Qt::LeftButton}, {1, Qt::LeftButton}, {2, Qt::LeftButton}};
    if (list.Capacity() > 3) wanted.emplace_back(3, Qt::LeftButton);  // a line cut off takes no press
    EXPECT_EQ(pressed, wanted);

    const QImage shot = list.grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_GT(LatePixels(shot, list.LineRect(2)), 5);
    EXPECT_EQ(LatePixels(shot, list.LineRect(1)), 0);
    EXPECT_EQ(LatePixels(shot, list.LineRect(0)), 0);
    auto dark = [&](const QRect& area) {
      int count = 0;
      for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left() + 1; x < area.right(); ++x) count += qGray(shot.pixel(x, y)) < 100;
      return count;
    };
    EXPECT_GT(dark(QRect(0, 1, size.width(), 16)), 20);  // the caption
    EXPECT_GT(dark(list.LineRect(1)), 20);
    EXPECT_TRUE(list.accessibleDescription().contains("5 Carl, 0 Runden, -41,3, überfällig"));
  }
}

}  // namespace
