#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <memory>
#include <vector>

#include "common/Doubles.h"
#include "platform/Tick.h"
#include "platform/Timer.h"

using namespace platform;

namespace {

struct Fired {
  char name;
  uint32_t tick;
  bool operator==(const Fired&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Fired& f) { return out << f.name << '@' << f.tick; }

class PlatformTimer : public ::testing::Test {
protected:
  ManualClock& clock = testing_doubles::Doubles().clock;

  std::unique_ptr<Timer> Make(char name, uint32_t interval) {
    auto timer = std::make_unique<Timer>();
    timer->SetInterval(interval);
    timer->OnTimer = [this, name](QObject*) { fired.push_back({name, GetTickCount()}); };
    timer->SetEnabled(true);
    return timer;
  }

  std::vector<Fired> fired;
};

}  // namespace

TEST_F(PlatformTimer, ManualClockFiresTimersInDueOrder) {
  clock.Set(1000);
  auto a = Make('a', 30);
  auto b = Make('b', 20);
  auto c = Make('c', 50);
  clock.Advance(59);
  EXPECT_EQ(fired, (std::vector<Fired>{{'b', 1020}, {'a', 1030}, {'b', 1040}, {'c', 1050}}));
  EXPECT_EQ(GetTickCount(), 1059u);
  fired.clear();
  clock.Advance(1);
  ASSERT_EQ(fired.size(), 2u);  // a and b both due at 1060
  for (const Fired& f : fired) EXPECT_EQ(f.tick, 1060u);
  EXPECT_NE(fired[0].name, fired[1].name);
}

TEST_F(PlatformTimer, TimersKeepTheirRhythmAcrossTheCounterWrap) {
  clock.Set(0xFFFFFFF0u);
  auto t = Make('t', 10);
  clock.Advance(40);
  EXPECT_EQ(fired, (std::vector<Fired>{{'t', 0xFFFFFFFAu}, {'t', 0x4u}, {'t', 0xEu}, {'t', 0x18u}}));
  EXPECT_EQ(GetTickCount(), 0x18u);
}

TEST_F(PlatformTimer, ReEnablingOrChangingTheIntervalStartsAFreshPeriod) {
  clock.Set(0);
  auto t = Make('t', 100);
  clock.Advance(70);
  t->SetEnabled(false);
  clock.Advance(100);
  EXPECT_TRUE(fired.empty());  // a disabled timer never fires
  t->SetEnabled(true);         // now 170: due at 270
  clock.Advance(99);
  EXPECT_TRUE(fired.empty());
  clock.Advance(1);
  EXPECT_EQ(fired, (std::vector<Fired>{{'t', 270}}));

  fired.clear();
  clock.Advance(60);           // 330
  t->SetInterval(50);          // due at 380
  t->SetInterval(50);          // the same interval again changes nothing
  clock.Advance(49);
  EXPECT_TRUE(fired.empty());
  clock.Advance(1);
  EXPECT_EQ(fired, (std::vector<Fired>{{'t', 380}}));

  fired.clear();
  t->SetInterval(0);           // an interval of 0 stops the timer
  clock.Advance(1000);
  EXPECT_TRUE(fired.empty());
  EXPECT_TRUE(t->Enabled());
}

TEST_F(PlatformTimer, HandlersMayStopTimersAndJumpsLeaveTimersOverdue) {
  clock.Set(0);
  auto a = Make('a', 10);
  auto b = Make('b', 10);
  // a, first at the shared due tick, stops b: b must not fire afterwards.
  a->OnTimer = [&](QObject* sender) {
    EXPECT_EQ(sender, a.get());
    fired.push_back({'a', GetTickCount()});
    b->SetEnabled(false);
    a->SetEnabled(false);
  };
  clock.Advance(10);
  EXPECT_EQ(fired, (std::vector<Fired>{{'a', 10}}));

  fired.clear();
  auto c = Make('c', 100);  // due at 110
  clock.Set(500);           // jumps over the due tick without firing
  EXPECT_TRUE(fired.empty());
  clock.Advance(0);
  EXPECT_EQ(fired, (std::vector<Fired>{{'c', 500}}));
  fired.clear();
  clock.Advance(100);
  EXPECT_EQ(fired, (std::vector<Fired>{{'c', 600}}));

  // A timer destroyed is forgotten by the clock.
  c.reset();
  clock.Advance(1000);
  EXPECT_EQ(fired.size(), 1u);
}

TEST_F(PlatformTimer, WithoutTheManualClockTimersRunOnQTimer) {
  SetTickSource(nullptr);
  auto t = Make('q', 5);
  QElapsedTimer elapsed;
  elapsed.start();
  while (fired.size() < 2 && elapsed.elapsed() < 5000)
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 50);
  t.reset();
  SetTickSource(&clock);
  ASSERT_GE(fired.size(), 2u);
  // Boot-time ticks: they advance and lie close to each other.
  const auto step = static_cast<int32_t>(fired[1].tick - fired[0].tick);
  EXPECT_GE(step, 1);
  EXPECT_LT(step, 5000);
}
