// The battery monitor against a stand-in of UPower on a private bus, polled by the manual clock.
#include "platform/BatteryMonitor.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "desktop/DesktopStandIn.h"
#include "common/Eventually.h"
#include "platform/Tick.h"

using platform::BatteryMonitor;
using testing_desktop::DesktopStandIn;
using testing_common::Settle;
using Behaviour = DesktopStandIn::Behaviour;
using Reports = std::vector<std::optional<double>>;

namespace {

class BatteryMonitorTest : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(desktop.Ready());
    monitor.OnChanged = [this](std::optional<double> low) { reports.push_back(low); };
  }

  // Lets one poll period pass and waits until that poll's reads reached the stand-in.
  void NextPoll(int reads) {
    const int before = desktop.PropertyReads();
    platform::ActiveManualClock()->Advance(BatteryMonitor::kPollMs);
    EXPECT_SOON_EQ(desktop.PropertyReads(), before + reads);
  }

  DesktopStandIn desktop;
  BatteryMonitor monitor;
  Reports reports;
};

TEST_F(BatteryMonitorTest, ReportsLowChargeOnBatteryOnceAMinute) {
  desktop.SetOnBattery(false);
  desktop.SetPercentage(15);
  monitor.SetWatching(true);
  EXPECT_TRUE(monitor.Watching());
  EXPECT_SOON_EQ(desktop.PropertyReads(), 1);  // asked at once; on mains the charge does not matter
  Settle();
  EXPECT_EQ(reports, Reports{}) << "on mains power nothing is low";

  // Unplugged: seen at the next poll, a full minute after the last, not earlier.
  desktop.SetOnBattery(true);
  platform::ActiveManualClock()->Advance(BatteryMonitor::kPollMs - 1);
  Settle();
  EXPECT_EQ(desktop.PropertyReads(), 1);
  platform::ActiveManualClock()->Advance(1);
  EXPECT_SOON_EQ(reports, (Reports{15.0}));
  EXPECT_EQ(desktop.PropertyReads(), 3);

  desktop.SetPercentage(20);  // the limit itself is not low
  NextPoll(2);
  EXPECT_SOON_EQ(reports, (Reports{15.0, std::nullopt}));

  desktop.SetPercentage(19.4);
  NextPoll(2);
  EXPECT_SOON_EQ(reports, (Reports{15.0, std::nullopt, 19.4}));

  // The line shows whole percents: a change within the same whole number is not reported.
  desktop.SetPercentage(18.6);
  NextPoll(2);
  Settle();
  EXPECT_EQ(reports.size(), 3u);
  desktop.SetPercentage(17.2);
  NextPoll(2);
  EXPECT_SOON_EQ(reports, (Reports{15.0, std::nullopt, 19.4, 17.2}));

  desktop.SetOnBattery(false);
  NextPoll(1);
  EXPECT_SOON_EQ(reports, (Reports{15.0, std::nullopt, 19.4, 17.2, std::nullopt}));
}

TEST_F(BatteryMonitorTest, AnnouncedChangeIsReportedWithoutWaitingForThePoll) {
  desktop.SetOnBattery(true);
  desktop.SetPercentage(50);
  monitor.SetWatching(true);
  EXPECT_SOON_EQ(desktop.PropertyReads(), 2);
  desktop.SetPercentage(12);
  desktop.AnnounceBattery();
  EXPECT_SOON_EQ(reports, (Reports{12.0}));
}

TEST_F(BatteryMonitorTest, StoppingReportsNotLowAndDropsWhatIsInFlight) {
  desktop.SetOnBattery(true);
  desktop.SetPercentage(10);
  monitor.SetWatching(true);
  EXPECT_SOON_EQ(reports, (Reports{10.0}));
  monitor.SetWatching(false);
  EXPECT_FALSE(monitor.Watching());
  EXPECT_EQ(reports, (Reports{10.0, std::nullopt})) << "the warning goes with the race";
  const int reads = desktop.PropertyReads();
  platform::ActiveManualClock()->Advance(3 * BatteryMonitor::kPollMs);
  desktop.AnnounceBattery();
  Settle();
  EXPECT_EQ(desktop.PropertyReads(), reads) << "no asking outside a race";

  // A reply that comes after the stop is not acted on: no report, and no read of the charge.
  desktop.Set(DesktopStandIn::Service::UPower, Behaviour::Defer);
  monitor.SetWatching(true);
  EXPECT_SOON_EQ(desktop.Deferred(), 1);
  monitor.SetWatching(false);
  desktop.AnswerDeferred();
  Settle();
  EXPECT_EQ(desktop.PropertyReads(), reads + 1);
  EXPECT_EQ(reports.size(), 2u);

  // Nor is one from before a restart: only the current poll goes on to read the charge.
  monitor.SetWatching(true);
  EXPECT_SOON_EQ(desktop.Deferred(), 1);
  monitor.SetWatching(false);
  monitor.SetWatching(true);
  EXPECT_SOON_EQ(desktop.Deferred(), 2);
  desktop.Set(DesktopStandIn::Service::UPower, Behaviour::Answer);
  desktop.AnswerDeferred();
  EXPECT_SOON_EQ(reports, (Reports{10.0, std::nullopt, 10.0}));
  Settle();
  EXPECT_EQ(desktop.PropertyReads(), reads + 4);
}

TEST_F(BatteryMonitorTest, MissingOrRefusingUPowerIsNotLow) {
  desktop.SetOnBattery(true);
  desktop.SetPercentage(10);
  desktop.Set(DesktopStandIn::Service::UPower, Behaviour::Absent);
  ASSERT_TRUE(desktop.Ready());
  monitor.SetWatching(true);
  Settle();
  EXPECT_EQ(reports, Reports{});

  desktop.Set(DesktopStandIn::Service::UPower, Behaviour::Answer);
  NextPoll(2);
  EXPECT_SOON_EQ(reports, (Reports{10.0}));
  desktop.Set(DesktopStandIn::Service::UPower, Behaviour::Refuse);
  NextPoll(1);
  EXPECT_SOON_EQ(reports, (Reports{10.0, std::nullopt}));
  desktop.Set(DesktopStandIn::Service::UPower, Behaviour::Answer);
  NextPoll(2);
  EXPECT_SOON_EQ(reports, (Reports{10.0, std::nullopt, 10.0}));
  desktop.Set(DesktopStandIn::Service::UPower, Behaviour::Absent);
  platform::ActiveManualClock()->Advance(BatteryMonitor::kPollMs);
  EXPECT_SOON_EQ(reports, (Reports{10.0, std::nullopt, 10.0, std::nullopt}));
}

TEST(BatteryMonitorNoBus, WatchingWithoutABusReportsNothing) {
  const QString name = QStringLiteral("nowhere");
  {
    BatteryMonitor monitor([&] { return QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent/bus"), name); });
    Reports reports;
    monitor.OnChanged = [&](std::optional<double> low) { reports.push_back(low); };
    monitor.SetWatching(true);
    platform::ActiveManualClock()->Advance(2 * BatteryMonitor::kPollMs);
    monitor.SetWatching(false);
    EXPECT_EQ(reports, Reports{});
  }
  QDBusConnection::disconnectFromBus(name);
}

TEST(BatteryWarningText, ShowsTheChargeAsAWholeNumber) {
  EXPECT_EQ(platform::BatteryWarningText(17),
            QString::fromUtf8("Akku bei 17 % \u2013 Netzteil anschlie\u00dfen, das Rennen l\u00e4uft."));
  EXPECT_EQ(platform::BatteryWarningText(16.5), platform::BatteryWarningText(17));
  EXPECT_EQ(platform::BatteryWarningText(19.4), platform::BatteryWarningText(19));
  EXPECT_TRUE(platform::BatteryWarningText(0.3).startsWith(QStringLiteral("Akku bei 0 % ")));
}

}  // namespace
