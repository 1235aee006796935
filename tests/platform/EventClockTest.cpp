#include <gtest/gtest.h>

#include <QKeyEvent>

#include "common/Doubles.h"
#include "platform/EventClock.h"
#include "platform/InputClock.h"
#include "platform/Tick.h"

using platform::EventTimeEstimator;

namespace {

// The event clock runs `offset` behind the tick counter; each event is handled `delay` ms after
// it was made.
struct Clocks {
  EventTimeEstimator estimator;
  uint32_t offset;  // tick - stamp, modulo 2^32
  uint32_t Press(uint32_t madeAtTick, uint32_t delay) {
    const uint32_t stamp = madeAtTick - offset;
    return estimator.TickOf(stamp, madeAtTick + delay);
  }
  // Prompt events, a second apart, from tick `from` on.
  void Settle(uint32_t from, int count = 5) {
    for (int i = 0; i < count; ++i) Press(from + 1000u * i, 0);
  }
};

}  // namespace

TEST(EventTimeEstimatorTest, APressThatWaitedKeepsTheTimeItWasMade) {
  Clocks c{{}, 123456};
  c.Settle(50000);
  EXPECT_EQ(c.Press(60000, 300), 60000u);
  EXPECT_EQ(c.Press(61000, 2), 61000u);
  // Stamps only count once they came with a press of the window system: 0 is no stamp.
  EXPECT_EQ(c.estimator.TickOf(0, 62000), 62000u);
  EXPECT_EQ(c.Press(63000, 150), 63000u);
}

TEST(EventTimeEstimatorTest, TheClocksMayWrapAnywhere) {
  // The event clock wraps during the race; later the tick counter wraps too.
  for (const uint32_t offset : {5u, 0x80000000u, 0xFFFFFFF0u}) {
    Clocks c{{}, offset};
    const uint32_t start = 0xFFFFF000u + offset;  // the stamp is 2^32 - 4096 here
    c.Settle(start);
    for (uint32_t at = start + 6000; at != start + 12000; at += 1000) {
      SCOPED_TRACE(testing::Message() << "offset " << offset << " at " << at);
      EXPECT_EQ(c.Press(at, 250), at);
    }
    // The tick counter itself wraps past 0.
    Clocks t{{}, offset};
    t.Settle(0xFFFFE000u);
    EXPECT_EQ(t.Press(0xFFFFFF00u, 300), 0xFFFFFF00u);
    EXPECT_EQ(t.Press(0x100u, 300), 0x100u);
  }
}

TEST(EventTimeEstimatorTest, AJumpOfEitherClockStartsLearningAnew) {
  Clocks c{{}, 1000};
  c.Settle(100000);
  // The event clock jumps back an hour (the difference grows by an hour): no press is moved an
  // hour into the past; the first is taken when handled, the next ones are right again.
  c.offset += 3600000;
  EXPECT_EQ(c.Press(200000, 40), 200040u);
  c.Press(201000, 0);
  EXPECT_EQ(c.Press(202000, 300), 202000u);
  // It jumps ahead an hour: its stamps would lie in the future. Nothing lands after the handling.
  c.offset -= 2 * 3600000;
  EXPECT_EQ(c.Press(210000, 40), 210040u);
  c.Press(211000, 0);
  EXPECT_EQ(c.Press(212000, 300), 212000u);
  // A delay of nine seconds is still a delay, not a jump.
  EXPECT_EQ(c.Press(220000, 9000), 220000u);
  // The learnt offset stays after a reset only until the next event.
  c.estimator.Reset();
  EXPECT_FALSE(c.estimator.Offset());
  EXPECT_EQ(c.Press(240000, 300), 240300u);
}

TEST(EventTimeEstimatorTest, ASlowFirstEventDoesNotSpoilTheLaterOnes) {
  Clocks c{{}, 777};
  // Nothing to compare with yet: the first event is timed when handled.
  EXPECT_EQ(c.Press(10000, 300), 10300u);
  ASSERT_TRUE(c.estimator.Offset());
  EXPECT_EQ(*c.estimator.Offset(), 777u + 300u);
  // A prompt event shows what the offset really is.
  EXPECT_EQ(c.Press(11000, 0), 11000u);
  EXPECT_EQ(*c.estimator.Offset(), 777u);
  EXPECT_EQ(c.Press(12000, 300), 12000u);
  EXPECT_EQ(c.Press(13000, 60), 13000u);
}

TEST(EventTimeEstimatorTest, TheSmallestDifferenceIsKeptFreshButSurvivesAQuietSpell) {
  Clocks c{{}, 5000};
  c.Settle(0, 3);
  // A quiet quarter of an hour: what was learnt holds for the first press after it.
  EXPECT_EQ(c.Press(900000, 200), 900000u);
  // The event clock slips 30 ms behind over the next minute (a difference that grows, within
  // what could be a delay): the old minimum goes once a minute of newer events has come in.
  c.offset += 30;
  for (uint32_t at = 901000; at < 975000; at += 1000) c.Press(at, 0);
  EXPECT_EQ(*c.estimator.Offset(), 5030u);
  EXPECT_EQ(c.Press(980000, 300), 980000u);
}

TEST(InputClockTest, WithoutAWindowSystemStampPressesAreTimedWhenHandled) {
  // Offscreen and on the manual clock, stamps are not from a window system: an event's stamp
  // is ignored, and one event keeps one time however often it is asked.
  platform::InputClock clock;
  auto& ticks = testing_doubles::Doubles().clock;
  ticks.Set(5000);
  QKeyEvent press(QEvent::KeyPress, Qt::Key_F4, Qt::NoModifier);
  press.setTimestamp(1234);
  EXPECT_EQ(clock.TickOf(&press), 5000u);
  EXPECT_EQ(clock.TickOf(nullptr), 5000u);
}
