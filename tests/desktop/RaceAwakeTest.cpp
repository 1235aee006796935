// The window keeps the machine awake while a race runs, and warns of a low battery, against the
// stand-ins of the desktop's services on a private bus.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QTest>

#include "app/FMain.h"
#include "app/TestProgram.h"
#include "common/Doubles.h"
#include "common/Eventually.h"
#include "desktop/DesktopStandIn.h"
#include "grid/SortGrid.h"
#include "widgets/ButtonWithColor.h"

using testing_common::Settle;
using testing_desktop::DesktopStandIn;

namespace {

struct RaceAwake : ProgramFixture {
  DesktopStandIn desktop;
  platform::ManualClock& clock = testing_doubles::Doubles().clock;

  void SetUp() override {
    ASSERT_TRUE(desktop.Ready());
    QFile categories("Kategorie.txt");
    ASSERT_TRUE(categories.open(QIODevice::WriteOnly));
    categories.write("M\r\nF\r\n");
    clock.Set(100000);
  }
  void TearDown() override {
    program.reset();
    for (const char* name : {"Veltrano.txt", "Veltrano-Korrekturen.txt"}) QFile::remove(name);
  }
  // Selecting the entry row afresh offers START, also after ENDE.
  void Start(const QString& number) {
    Form().SortGrid1->SetRow(1);
    Form().SortGrid1->SetRow(Form().SortGrid1->RowCount() - 1);
    Form().cbStartN->setEditText(number);
    Form().eName->setText("Fahrer " + number);
    QTest::keyClick(Form().SortGrid1, Qt::Key_F5);
  }
  void End() { QTest::mouseClick(Form().bEnd, Qt::LeftButton); }
  void Reset() {
    testing_doubles::Doubles().modal.AnswerDialog(mrYes);
    QTest::keyClick(Form().bRESET, Qt::Key_Space);
  }
  bool Held() const { return desktop.ScreenSaverInhibitions() == 1 && desktop.SleepInhibitorsOpen() == 1; }
  bool NothingHeld() const { return desktop.ScreenSaverInhibitions() == 0 && desktop.SleepInhibitorsOpen() == 0; }
  int Asked() const { return desktop.ScreenSaverInhibitCalls() + desktop.SleepInhibitCalls(); }
};

}  // namespace

TEST_F(RaceAwake, TheMachineStaysAwakeFromTheFirstStartUntilEndeResetOrExit) {
  Open();
  Settle();
  EXPECT_EQ(Asked(), 0) << "nothing is asked before a race";

  Start("1");
  EXPECT_SOON(Held());
  EXPECT_EQ(desktop.LastWhat(), "sleep:idle");
  EXPECT_EQ(desktop.LastMode(), "block");
  clock.Advance(5000);
  Start("2");
  Settle();
  EXPECT_EQ(Asked(), 2) << "a second START asks again";
  EXPECT_TRUE(Held());

  End();
  EXPECT_SOON(NothingHeld());
  // A START after ENDE sets the clock running again, and with it the inhibition; ENDE is not
  // offered again then, the reset ends it.
  Start("3");
  EXPECT_SOON(Held());
  Reset();
  EXPECT_SOON(NothingHeld());
  EXPECT_EQ(Asked(), 4);

  // A new race, and the window closes while it runs.
  Start("1");
  EXPECT_SOON(Held());
  program.reset();
  EXPECT_SOON(NothingHeld());
}

TEST_F(RaceAwake, ALowBatteryDuringTheRaceShowsAWarningLineWithoutAModalBox) {
  desktop.SetOnBattery(true);
  desktop.SetPercentage(15.2);
  TFormMain& form = Open();
  Settle();
  EXPECT_FALSE(form.LabBattery->isVisible()) << "only while a race runs";
  EXPECT_EQ(desktop.PropertyReads(), 0);

  Start("1");
  EXPECT_SOON(form.LabBattery->isVisible());
  EXPECT_EQ(form.LabBattery->text(), "Akku bei 15 % – Netzteil anschließen, das Rennen läuft.");
  // Polled every minute while the race runs.
  desktop.SetPercentage(11.6);
  clock.Advance(60000);
  EXPECT_SOON_EQ(form.LabBattery->text(), QString("Akku bei 12 % – Netzteil anschließen, das Rennen läuft."));
  // The charger is plugged in: UPower says so at once.
  desktop.SetOnBattery(false);
  desktop.AnnounceBattery();
  EXPECT_SOON(!form.LabBattery->isVisible());
  desktop.SetOnBattery(true);
  desktop.AnnounceBattery();
  EXPECT_SOON(form.LabBattery->isVisible());
  // At ENDE the warning goes; nothing was ever shown modally.
  End();
  EXPECT_FALSE(form.LabBattery->isVisible());
  EXPECT_EQ(testing_doubles::Doubles().modal.PendingAnswers(), 0);
}
