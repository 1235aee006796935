// Presses made on a real X server while the window is busy: a press keeps the instant it was
// made, not the one at which the window got round to it. Run by run-on-x-server.sh.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

#include "XTestInput.h"
#include "app/FMain.h"
#include "app/TestProgram.h"
#include "grid/SortGrid.h"
#include "platform/Tick.h"
#include "race/Protocol.h"
#include "race/TimeText.h"
#include "widgets/ButtonWithColor.h"
#include "common/Eventually.h"

namespace {

constexpr int kBlockMs = 300;
constexpr int kPressIntoBlockMs = 40;
constexpr int64_t kToleranceMs = 2;

struct PressTiming : ProgramFixture {
  XTestInput input;

  void SetUp() override {
    if (QGuiApplication::platformName() != QLatin1String("xcb")) GTEST_SKIP() << "needs an X server";
    ASSERT_TRUE(input.Connected());
    QFile categories("Kategorie.txt");
    ASSERT_TRUE(categories.open(QIODevice::WriteOnly));
    categories.write("M\r\nF\r\n");
    platform::SetTickSource(nullptr);  // the real counter: stamps are compared with it
    TFormMain& form = Open();
    form.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    form.Race().SetMinimumLap(0);
  }

  QPoint Centre(QWidget* widget) const { return widget->mapToGlobal(widget->rect().center()); }
  QPoint CellCentre(int32_t col, int32_t row) {
    return Form().SortGrid1->viewport()->mapToGlobal(Form().SortGrid1->CellRect(col, row).ToQRect().center());
  }
  // Pointer moves the window handles at once: they teach it the server's clock.
  void Calibrate() {
    for (int i = 0; i < 8; ++i) {
      input.MoveTo(CellCentre(pcName, 1) + QPoint(i, 0));
      QTest::qWait(20);
    }
  }
  // A LAP moves the selection on: each press picks the rider's row first, with the mouse.
  void SelectRider() {
    input.Click(CellCentre(pcName, 1));
    ASSERT_SOON_EQ(Form().SortGrid1->Row(), 1);
    Calibrate();
  }
  uint32_t Tick(int32_t col, int32_t row) { return TickFromText(Form().SortGrid1->Cells(col, row)).value_or(0); }

  // Blocks the window's thread for kBlockMs from its next turn on, and makes the press from
  // another thread kPressIntoBlockMs after the block began.
  template <typename Press>
  XTestInput::Instant PressWhileBusy(Press press) {
    std::atomic<int64_t> blockedAt{0};
    QTimer::singleShot(0, [&blockedAt] {
      blockedAt = BootMs();
      std::this_thread::sleep_for(std::chrono::milliseconds(kBlockMs));
    });
    XTestInput::Instant instant;
    std::thread presser([&] {
      while (blockedAt == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
      std::this_thread::sleep_for(std::chrono::milliseconds(kPressIntoBlockMs));
      instant = press();
    });
    while (blockedAt == 0) QTest::qWait(1);
    presser.join();
    // The press fell inside the block: the window handled it at least this much later.
    EXPECT_LT(instant.after, blockedAt + kBlockMs - 200);
    return instant;
  }

  // The recorded tick lies where the server took the press, give or take kToleranceMs.
  static void ExpectAt(uint32_t recorded, const XTestInput::Instant& instant, const char* what) {
    const int64_t early = TickDiff(static_cast<uint32_t>(instant.before), recorded);
    const int64_t late = TickDiff(recorded, static_cast<uint32_t>(instant.after));
    std::printf("%s: recorded %lld ms after the press was made (press taken within %lld ms)\n", what,
                static_cast<long long>(TickDiff(recorded, static_cast<uint32_t>(instant.before))),
                static_cast<long long>(instant.after - instant.before));
    EXPECT_LE(early, kToleranceMs) << what;
    EXPECT_LE(late, kToleranceMs) << what;
  }
};

}  // namespace

TEST_F(PressTiming, RaceKeysAndButtonsPressedWhileTheWindowIsBusyKeepTheirInstant) {
  TFormMain& form = Form();
  form.cbStartN->setEditText("7");
  form.eName->setText("Anna");
  Calibrate();

  // START by key while the window is busy.
  const XTestInput::Instant start = PressWhileBusy([this] { return input.Key(XTestInput::kF5); });
  ASSERT_SOON_EQ(form.SortGrid1->RowCount(), 3);
  ExpectAt(Tick(pcStartTick, 1), start, "F5 during a 300 ms block");

  // LAP by key, idle and busy.
  SelectRider();
  const XTestInput::Instant idle = input.Key(XTestInput::kF4);
  ASSERT_SOON_EQ(form.SortGrid1->Cells(pcLapCount, 1), QString("1"));
  ExpectAt(Tick(pcLastLapTick, 1), idle, "F4, window idle");

  SelectRider();
  const XTestInput::Instant lap = PressWhileBusy([this] { return input.Key(XTestInput::kF4); });
  ASSERT_SOON_EQ(form.SortGrid1->Cells(pcLapCount, 1), QString("2"));
  ExpectAt(Tick(pcLastLapTick, 1), lap, "F4 during a 300 ms block");

  // LAP with the mouse on its button while busy.
  SelectRider();
  const QPoint lapButton = Centre(form.bLAP);
  input.MoveTo(lapButton);
  QTest::qWait(30);
  const XTestInput::Instant click = PressWhileBusy([&] { return input.Click(lapButton); });
  ASSERT_SOON_EQ(form.SortGrid1->Cells(pcLapCount, 1), QString("3"));
  ExpectAt(Tick(pcLastLapTick, 1), click, "LAP button during a 300 ms block");

  // STOPP by key while busy: the total counts to the instant of the press.
  SelectRider();
  const uint32_t started = Tick(pcStartTick, 1);
  const XTestInput::Instant stop = PressWhileBusy([this] { return input.Key(XTestInput::kF9); });
  ASSERT_SOON_EQ(form.SortGrid1->Cells(pcLastLapTick, 1), QString("0"));
  ExpectAt(started + Tick(pcStartTick, 1), stop, "F9 during a 300 ms block");
}
