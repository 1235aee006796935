#include <gtest/gtest.h>

#include <QMouseEvent>
#include <QTest>
#include <functional>

#include "widgets/ExpectedList.h"

namespace {

// The pixels of an area that are so.
int Count(const QImage& image, const QRect& area, const std::function<bool(QRgb)>& so) {
  int count = 0;
  for (int y = area.top(); y <= area.bottom(); ++y)
    for (int x = area.left() + 1; x < area.right(); ++x) count += so(image.pixel(x, y));
  return count;
}
bool LateText(QRgb pixel) { return pixel == TExpectedList::kLateText; }  // not its pale background
bool Dark(QRgb pixel) { return qGray(pixel) < 100; }

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

    std::vector<int> pressed;  // the lines reported, -1 for one whose event is not its left press
    list.OnLinePressed = [&](int index, const QMouseEvent* event) {
      const bool own = event->button() == Qt::LeftButton && event->position().toPoint() == list.LineRect(index).center();
      pressed.push_back(own ? index : -1);
    };
    for (int index = 0; index < 4; ++index) QTest::mousePress(&list, Qt::LeftButton, {}, list.LineRect(index).center());
    QTest::mousePress(&list, Qt::RightButton, {}, list.LineRect(1).center());
    QTest::mousePress(&list, Qt::LeftButton, {}, QPoint(20, 5));  // the caption
    EXPECT_EQ(pressed, (list.Capacity() > 3 ? std::vector{0, 1, 2, 3} : std::vector{0, 1, 2}));  // not a line cut off

    const QImage shot = list.grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_GT(Count(shot, list.LineRect(2), LateText), 5);
    EXPECT_EQ(Count(shot, list.LineRect(1), LateText), 0);
    EXPECT_GT(Count(shot, QRect(0, 1, size.width(), 16), Dark), 20);  // the caption
    EXPECT_GT(Count(shot, list.LineRect(1), Dark), 20);
    EXPECT_TRUE(list.accessibleDescription().contains("5 Carl, 0 Runden, -41,3, überfällig"));
  }
}

}  // namespace
