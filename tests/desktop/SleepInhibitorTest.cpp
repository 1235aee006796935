// The sleep inhibitor against stand-ins of the screen saver and logind on a private bus.
#include "platform/SleepInhibitor.h"

#include <gtest/gtest.h>

#include <memory>

#include "desktop/DesktopStandIn.h"
#include "common/Eventually.h"

using platform::SleepInhibitor;
using testing_desktop::DesktopStandIn;
using testing_common::LogCatcher;
using testing_common::Settle;
using Service = DesktopStandIn::Service;
using Behaviour = DesktopStandIn::Behaviour;

namespace {

const QString kReason = QStringLiteral("Rennen läuft");

class SleepInhibitorTest : public ::testing::Test {
protected:
  void SetUp() override { ASSERT_TRUE(desktop.Ready()); }

  bool NothingHeld() const { return desktop.ScreenSaverInhibitions() == 0 && desktop.SleepInhibitorsOpen() == 0; }

  DesktopStandIn desktop;
};

TEST_F(SleepInhibitorTest, HoldTakesBothInhibitionsOnceAndReleaseGivesThemBack) {
  int sessionsMade = 0, systemsMade = 0;
  SleepInhibitor inhibitor(
      [&] { ++sessionsMade; return QDBusConnection::sessionBus(); },
      [&] { ++systemsMade; return QDBusConnection::systemBus(); });
  EXPECT_EQ(sessionsMade + systemsMade, 0) << "no bus before the first race";
  EXPECT_FALSE(inhibitor.Holding());

  inhibitor.Hold(kReason);
  EXPECT_TRUE(inhibitor.Holding());
  EXPECT_SOON(inhibitor.ScreenSaverGranted() && inhibitor.SleepGranted());
  EXPECT_EQ(desktop.ScreenSaverInhibitions(), 1);
  EXPECT_EQ(desktop.LastApplication(), "Veltrano");
  EXPECT_EQ(desktop.LastReason(), kReason);
  EXPECT_EQ(desktop.SleepInhibitorsOpen(), 1);
  EXPECT_EQ(desktop.LastWhat(), "sleep:idle");
  EXPECT_EQ(desktop.LastWho(), "Veltrano");
  EXPECT_EQ(desktop.LastWhy(), kReason);
  EXPECT_EQ(desktop.LastMode(), "block");

  // A second Hold while held asks nobody again.
  inhibitor.Hold(QStringLiteral("noch einmal"));
  Settle();
  EXPECT_EQ(desktop.ScreenSaverInhibitCalls(), 1);
  EXPECT_EQ(desktop.SleepInhibitCalls(), 1);
  EXPECT_EQ(desktop.ScreenSaverInhibitions(), 1);
  EXPECT_EQ(desktop.SleepInhibitorsOpen(), 1);

  inhibitor.Release();
  EXPECT_FALSE(inhibitor.Holding());
  EXPECT_FALSE(inhibitor.ScreenSaverGranted());
  EXPECT_FALSE(inhibitor.SleepGranted());
  EXPECT_SOON(NothingHeld());
  inhibitor.Release();
  Settle();
  EXPECT_EQ(desktop.ScreenSaverUnInhibitCalls(), 1);

  // The next race asks again, over the buses made for the first.
  inhibitor.Hold(kReason);
  EXPECT_SOON(inhibitor.ScreenSaverGranted() && inhibitor.SleepGranted());
  EXPECT_EQ(desktop.ScreenSaverInhibitions(), 1);
  EXPECT_EQ(desktop.SleepInhibitorsOpen(), 1);
  EXPECT_EQ(sessionsMade, 1);
  EXPECT_EQ(systemsMade, 1);
}

TEST_F(SleepInhibitorTest, DestructionGivesBackWhatIsHeld) {
  auto inhibitor = std::make_unique<SleepInhibitor>();
  inhibitor->Hold(kReason);
  EXPECT_SOON(inhibitor->ScreenSaverGranted() && inhibitor->SleepGranted());
  inhibitor.reset();
  EXPECT_SOON(NothingHeld());
  EXPECT_EQ(desktop.ScreenSaverUnInhibitCalls(), 1);
}

// A grant that comes after the race ended (the desktop answered slowly) must not keep the machine
// awake: it is given back as soon as it arrives.
TEST_F(SleepInhibitorTest, GrantsArrivingAfterReleaseOrDestructionAreGivenBack) {
  desktop.Set(Service::ScreenSaver, Behaviour::Defer);
  desktop.Set(Service::Login, Behaviour::Defer);
  {
    SCOPED_TRACE("released before the replies");
    SleepInhibitor inhibitor;
    inhibitor.Hold(kReason);
    EXPECT_SOON_EQ(desktop.Deferred(), 2);
    inhibitor.Release();
    desktop.AnswerDeferred();
    EXPECT_SOON_EQ(desktop.ScreenSaverUnInhibitCalls(), 1);
    EXPECT_SOON(NothingHeld());
    EXPECT_FALSE(inhibitor.ScreenSaverGranted());
    EXPECT_FALSE(inhibitor.SleepGranted());
  }
  {
    SCOPED_TRACE("destroyed before the replies");
    auto inhibitor = std::make_unique<SleepInhibitor>();
    inhibitor->Hold(kReason);
    EXPECT_SOON_EQ(desktop.Deferred(), 2);
    inhibitor.reset();
    desktop.AnswerDeferred();
    EXPECT_SOON_EQ(desktop.ScreenSaverUnInhibitCalls(), 2);
    EXPECT_SOON(NothingHeld());
  }
  {
    SCOPED_TRACE("released and held again before the first replies");
    SleepInhibitor inhibitor;
    inhibitor.Hold(kReason);
    inhibitor.Release();
    inhibitor.Hold(kReason);
    EXPECT_SOON_EQ(desktop.Deferred(), 4);
    desktop.AnswerDeferred();
    // The older grants go back, the newer ones stay: one of each is held.
    EXPECT_SOON_EQ(desktop.ScreenSaverUnInhibitCalls(), 3);
    EXPECT_SOON(inhibitor.ScreenSaverGranted() && inhibitor.SleepGranted());
    EXPECT_SOON_EQ(desktop.SleepInhibitorsOpen(), 1);
    EXPECT_EQ(desktop.ScreenSaverInhibitions(), 1);
    inhibitor.Release();
    EXPECT_SOON(NothingHeld());
  }
}

TEST_F(SleepInhibitorTest, MissingOrRefusingServicesAreHarmless) {
  LogCatcher log;
  {
    SCOPED_TRACE("neither service on the bus");
    desktop.Set(Service::ScreenSaver, Behaviour::Absent);
    desktop.Set(Service::Login, Behaviour::Absent);
    ASSERT_TRUE(desktop.Ready());
    SleepInhibitor inhibitor;
    inhibitor.Hold(kReason);
    EXPECT_SOON_EQ(log.Count(QtInfoMsg), 2);  // both error replies were handled
    EXPECT_TRUE(inhibitor.Holding());
    EXPECT_FALSE(inhibitor.ScreenSaverGranted());
    EXPECT_FALSE(inhibitor.SleepGranted());
    inhibitor.Release();
    EXPECT_FALSE(inhibitor.Holding());
  }
  {
    SCOPED_TRACE("the screen saver refuses, logind grants");
    desktop.Set(Service::ScreenSaver, Behaviour::Refuse);
    desktop.Set(Service::Login, Behaviour::Answer);
    ASSERT_TRUE(desktop.Ready());
    SleepInhibitor inhibitor;
    inhibitor.Hold(kReason);
    EXPECT_SOON(inhibitor.SleepGranted());
    EXPECT_SOON_EQ(log.Count(QtInfoMsg), 3);
    EXPECT_TRUE(inhibitor.Holding());
    EXPECT_FALSE(inhibitor.ScreenSaverGranted());
    inhibitor.Release();
    EXPECT_SOON(NothingHeld());
    Settle();
    EXPECT_EQ(desktop.ScreenSaverUnInhibitCalls(), 0) << "nothing to give back to a refusing screen saver";
  }
  {
    SCOPED_TRACE("no bus at all");
    const QString name = QStringLiteral("nowhere");
    auto nowhere = [&] { return QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent/bus"), name); };
    {
      SleepInhibitor inhibitor(nowhere, nowhere);
      inhibitor.Hold(kReason);
      EXPECT_TRUE(inhibitor.Holding());
      Settle();
      EXPECT_FALSE(inhibitor.ScreenSaverGranted());
      EXPECT_FALSE(inhibitor.SleepGranted());
    }
    QDBusConnection::disconnectFromBus(name);
  }
  EXPECT_EQ(log.Count(QtWarningMsg) + log.Count(QtCriticalMsg), 0);
}

}  // namespace
