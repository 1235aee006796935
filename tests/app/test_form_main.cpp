#include <gtest/gtest.h>

#include <QFrame>
#include <QImage>
#include <QLabel>

#include "app/FMain.h"
#include "common/Doubles.h"
#include "platform/LocalTime.h"
#include "platform/LocaleFormats.h"
#include "widgets/Udigit.h"

namespace {

struct FormMainFixture : ::testing::Test {
  QDateTime now{QDate(2026, 12, 6), QTime(23, 33, 0)};
  void SetUp() override {
    platform::PinFormatLocale(QLocale(QLocale::German, QLocale::Germany));
    platform::SetNowSource([this] { return now; });
  }
  void TearDown() override {
    platform::SetNowSource({});
    platform::PinFormatLocale(std::nullopt);
  }
};

}  // namespace

TEST_F(FormMainFixture, CaptionSizeAndZeroClock) {
  TFormMain form;
  EXPECT_EQ(form.windowTitle(), "Veltrano 0.96");
  EXPECT_EQ(form.size(), QSize(804, 556));
  EXPECT_EQ(form.minimumSize(), QSize(720, 392));

  EXPECT_EQ(form.PanelTimer->width(), 398);
  EXPECT_EQ(form.PanelTimer->palette().color(QPalette::Window), QColor(Qt::black));

  for (TDigit* d : {form.Digit2, form.Digit3, form.Digit4, form.Digit5, form.Digit6, form.Digit7,
                    form.Digit13, form.Digit15, form.Digit16, form.Digit18, form.Digit19, form.Digit21}) {
    EXPECT_EQ(d->Value(), 0);
    EXPECT_EQ(d->size(), QSize(45, 89));
    EXPECT_EQ(d->Thickness(), 5);
    EXPECT_EQ(d->ColorOff(), clBlack);
  }
  // Zero race display: only the seconds units and tenths bright; zero rider display all dim.
  EXPECT_EQ(form.Digit5->ColorOn(), 0x404040u);
  EXPECT_EQ(form.Digit6->ColorOn(), clYellow);
  EXPECT_EQ(form.Digit7->ColorOn(), clYellow);
  EXPECT_EQ(form.Digit19->ColorOn(), 0x404040u);
  EXPECT_EQ(form.Digit21->ColorOn(), 0x404040u);

  QStringList captions;
  for (QLabel* label : form.PanelTimer->findChildren<QLabel*>()) captions << label->text();
  for (const char* text : {"Std.", "Min.", "Sek.", "1/10", ":", ".", ","})
    EXPECT_TRUE(captions.contains(text)) << text;
  EXPECT_EQ(captions.count(":"), 2);
}

TEST_F(FormMainFixture, DatePanelRefreshedEveryFiveSeconds) {
  TFormMain form;
  EXPECT_EQ(form.PanelDate->width(), 222);
  const QString first = form.PanelDate->text();
  EXPECT_TRUE(first.endsWith("   23:33")) << first.toStdString();

  now = now.addSecs(60);
  auto& clock = testing_doubles::Doubles().clock;
  clock.Advance(4999);
  EXPECT_EQ(form.PanelDate->text(), first);
  clock.Advance(1);
  EXPECT_TRUE(form.PanelDate->text().endsWith("   23:34"));
}

TEST_F(FormMainFixture, ClockPanelRendersZeroDigits) {
  TFormMain form;
  form.show();
  QImage image(form.PanelTimer->size(), QImage::Format_RGB32);
  form.PanelTimer->render(&image);
  // The centre of the tenths digit's top bar is lit in the race colour.
  const QPoint topBar = form.Digit7->geometry().topLeft() + QPoint(22, 5);
  EXPECT_EQ(FromQColor(image.pixelColor(topBar)), clYellow);
  const QPoint dimBar = form.Digit2->geometry().topLeft() + QPoint(22, 5);
  EXPECT_EQ(FromQColor(image.pixelColor(dimBar)), 0x404040u);
  // The middle bar of a zero stays off: the panel colour.
  const QPoint middle = form.Digit7->geometry().topLeft() + QPoint(22, 44);
  EXPECT_EQ(FromQColor(image.pixelColor(middle)), clBlack);
}
