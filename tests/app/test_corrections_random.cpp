// Seeded random races through the window: each is run once with the right presses and once with
// the operator's mistakes (a press on the wrong row, a double press, a missed lap, a wrong
// start number, a press taken back) and their corrections; the two protocols must be identical.
// And chains of mixed commands taken back and done again pass every earlier state on the way.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <QUndoStack>
#include <algorithm>
#include <random>

#include "app/FMain.h"
#include "app/RiderEditor.h"
#include "app/TestProgram.h"
#include "common/Doubles.h"
#include "dialogs/CorrectionDialog.h"
#include "grid/SortGrid.h"
#include "platform/KeyStore.h"
#include "platform/LocalTime.h"
#include "platform/LocaleFormats.h"
#include "race/Protocol.h"
#include "race/TimeText.h"
#include "widgets/ButtonWithColor.h"

namespace {

using testing_doubles::Doubles;

constexpr uint32_t kT0 = 3'000'000;

struct Rider {
  QString number, name, category;
  uint32_t start = 0;
  std::vector<uint32_t> passes;  // five, the last one the finish
};

struct Event {
  uint32_t at;
  int rider;
  int pass;  // -1: the start; 0 .. 4: a pass of the line
};

// Riders start 15 s apart; their laps differ by 4 s a rider and less than half a second from
// lap to lap, so no two of one category tie on a tenth. Every time falls on a tenth of the race
// clock, as a time typed from the clock does.
std::vector<Rider> RandomRiders(std::mt19937& random) {
  const int count = 4 + static_cast<int>(random() % 4);
  std::vector<Rider> riders;
  for (int i = 0; i < count; ++i) {
    Rider rider;
    rider.number = QString::number(10 + i);
    rider.name = QStringLiteral("Fahrer %1").arg(i);
    rider.category = random() % 2 ? QStringLiteral("M") : QStringLiteral("F");
    rider.start = static_cast<uint32_t>(i) * 15000;
    uint32_t at = rider.start;
    for (int lap = 0; lap < 5; ++lap) {
      at += 60000 + static_cast<uint32_t>(i) * 4000 + static_cast<uint32_t>(random() % 3) * 100;
      rider.passes.push_back(at);
    }
    riders.push_back(rider);
  }
  return riders;
}

std::vector<Event> Events(const std::vector<Rider>& riders) {
  std::vector<Event> events;
  for (size_t r = 0; r < riders.size(); ++r) {
    events.push_back({riders[r].start, static_cast<int>(r), -1});
    for (int p = 0; p < 5; ++p) events.push_back({riders[r].passes[static_cast<size_t>(p)], static_cast<int>(r), p});
  }
  std::sort(events.begin(), events.end(), [](const Event& a, const Event& b) {
    return std::tie(a.at, a.rider, a.pass) < std::tie(b.at, b.rider, b.pass);
  });
  return events;
}

struct RandomRaces : ProgramFixture {
  platform::ManualClock& clock = Doubles().clock;

  void SetUp() override {
    QFile::remove(platform::KeyStore::DefaultPath());
    for (const QString& name : QDir().entryList({"*.journal", "Veltrano.txt", "Veltrano-Korrekturen.txt"})) QFile::remove(name);
    QFile categories("Kategorie.txt");
    ASSERT_TRUE(categories.open(QIODevice::WriteOnly));
    categories.write("M\r\nF\r\n");
    platform::PinFormatLocale(QLocale(QLocale::German, QLocale::Germany));
    platform::SetNowSource([] { return QDateTime(QDate(2026, 12, 8), QTime(11, 0, 0)); });
  }
  void TearDown() override {
    program.reset();
    for (const QString& name : QDir().entryList({"*.journal", "Veltrano.txt", "Veltrano-Korrekturen.txt"})) QFile::remove(name);
    platform::SetNowSource({});
    platform::PinFormatLocale(std::nullopt);
  }

  TFormMain& Window() {
    if (!program) {
      Open();
      // Mistakes here include presses a second apart; the guard has tests of its own.
      Form().Race().SetMinimumLap(0);
    }
    return Form();
  }
  void At(uint32_t ms) { clock.Set(kT0 + ms); }
  void Key(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QTest::keyClick(Form().SortGrid1, key, modifiers);
  }
  int32_t RowOf(const QString& number) { return Form().Protocol().RowOfNumber(number); }
  void SelectRow(int32_t row) {
    ASSERT_GT(row, 0);
    Form().SortGrid1->SetRow(row);
  }
  void StartRider(const QString& number, const QString& name, const QString& category) {
    SelectRow(Form().SortGrid1->RowCount() - 1);
    Form().cbStartN->setEditText(number);
    Form().eName->setText(name);
    Form().cbPol->setCurrentIndex(Form().cbPol->findText(category));
    Key(Qt::Key_F5);
  }
  void Pass(const QString& number, bool last, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    SelectRow(RowOf(number));
    Key(last ? Qt::Key_F9 : Qt::Key_F4, modifiers);
  }
  void Answer(const QString& text) {
    TCorrectionDialog* dialog = Form().CorrectionDialog();
    ASSERT_TRUE(dialog->isVisible());
    dialog->Answer->setText(text);
    QTest::mouseClick(dialog->OKBtn, Qt::LeftButton);
    ASSERT_FALSE(dialog->isVisible()) << dialog->Refusal->text().toStdString();
  }
  void MoveLastTime(const QString& from, const QString& to) {
    SelectRow(RowOf(from));
    Form().OpenMoveTime();
    Answer(to);
  }
  void InsertLap(const QString& number, uint32_t at) {
    SelectRow(RowOf(number));
    Form().OpenInsertLap();
    Answer(FormatDuration(static_cast<int32_t>(at)));
  }
  void EditNumber(const QString& from, const QString& to) {
    SelectRow(RowOf(from));
    Key(Qt::Key_F2);
    ASSERT_TRUE(Form().RiderEditor()->IsOpen());
    Form().RiderEditor()->Number->setText(to);
    QTest::keyClick(Form().RiderEditor()->Number, Qt::Key_Return);
    ASSERT_FALSE(Form().RiderEditor()->IsOpen()) << Form().LabStatus->text().toStdString();
  }
  std::vector<QStringList> State() {
    std::vector<QStringList> rows;
    TSortGrid* grid = Form().SortGrid1;
    for (int32_t r = 0; r < grid->RowCount(); ++r) {
      QStringList row;
      for (int32_t c = 0; c < kProtocolColumns; ++c) row << grid->Cells(c, r);
      if (r > 0) {
        const TRowRecord& record = Form().Protocol().Record(r);
        row << (record.Times ? record.Times->ToText() : QStringLiteral("?"));
      }
      rows.push_back(row);
    }
    return rows;
  }
  void Reset() {
    TFormMain& form = Form();
    if (form.bEnd->isEnabled()) QTest::mouseClick(form.bEnd, Qt::LeftButton);
    Doubles().modal.AnswerDialog(mrYes);
    form.mReset->trigger();
    ASSERT_EQ(form.SortGrid1->RowCount(), 2);
  }
  // Riders on course who could take one more LAP, but for this one.
  std::vector<int> OnCourse(const std::vector<Rider>& riders, const std::vector<int>& presses, int except) {
    std::vector<int> found;
    for (size_t r = 0; r < riders.size(); ++r)
      if (static_cast<int>(r) != except && presses[r] >= 0 && presses[r] < 4) found.push_back(static_cast<int>(r));
    return found;
  }

  void RunRight(const std::vector<Rider>& riders) {
    for (const Event& e : Events(riders)) {
      At(e.at);
      const Rider& rider = riders[static_cast<size_t>(e.rider)];
      if (e.pass < 0)
        StartRider(rider.number, rider.name, rider.category);
      else
        Pass(rider.number, e.pass == 4);
    }
  }

  // The same race with mistakes, each put right: at once, or (a missed lap) some time later.
  void RunWithMistakes(const std::vector<Rider>& riders, std::mt19937& random, int& mistakes) {
    std::vector<int> presses(riders.size(), -1);  // -1: not started; else presses recorded
    std::vector<std::pair<int, uint32_t>> missed;  // rider, time: inserted later
    std::vector<bool> misnumbered(riders.size(), false);
    auto number = [&](int r) {
      return misnumbered[static_cast<size_t>(r)] ? QString::number(900 + r) : riders[static_cast<size_t>(r)].number;
    };
    for (const Event& e : Events(riders)) {
      At(e.at);
      const Rider& rider = riders[static_cast<size_t>(e.rider)];
      const size_t r = static_cast<size_t>(e.rider);
      if (e.pass < 0) {
        misnumbered[r] = random() % 5 == 0;
        StartRider(number(e.rider), rider.name, rider.category);
        presses[r] = 0;
        continue;
      }
      const bool last = e.pass == 4;
      const int kind = static_cast<int>(random() % 10);
      const std::vector<int> others = OnCourse(riders, presses, e.rider);
      if (kind == 0 && !others.empty()) {
        // The press on another rider's row, then moved to the right one.
        const int wrong = others[random() % others.size()];
        Pass(number(wrong), last);
        MoveLastTime(number(wrong), number(e.rider));
        ++mistakes;
      } else if (kind == 1 && !others.empty()) {
        // The press on another rider's row, taken back at once and pressed again rightly.
        const int wrong = others[random() % others.size()];
        Pass(number(wrong), last);
        Key(Qt::Key_Z, Qt::ControlModifier);
        Pass(number(e.rider), last);
        ++mistakes;
      } else if (kind == 2 && !last && presses[r] < 3) {
        // Pressed twice, the second deleted.
        Pass(number(e.rider), false);
        At(e.at + 700);
        Pass(number(e.rider), false, Qt::ShiftModifier);
        SelectRow(RowOf(number(e.rider)));
        Form().DeleteLapClick(Form().Protocol().Record(RowOf(number(e.rider))).Times->Laps());
        ++mistakes;
      } else if (kind == 3 && !last) {
        // Missed; inserted later.
        missed.emplace_back(e.rider, e.at);
        ++mistakes;
        continue;
      } else {
        Pass(number(e.rider), last);
      }
      ++presses[r];
      // Now and then a missed lap is put in, and a wrong start number put right.
      if (!missed.empty() && random() % 4 == 0) {
        At(e.at + 1);
        InsertLap(number(missed.front().first), missed.front().second);
        ++presses[static_cast<size_t>(missed.front().first)];
        missed.erase(missed.begin());
      }
    }
    const uint32_t end = 20'000'000;
    At(end);
    for (const auto& [rider, at] : missed) InsertLap(number(rider), at);
    for (size_t r = 0; r < riders.size(); ++r)
      if (misnumbered[r]) {
        EditNumber(number(static_cast<int>(r)), riders[r].number);
        misnumbered[r] = false;
        ++mistakes;
      }
  }
};

}  // namespace

TEST_F(RandomRaces, TwoHundredRacesWithMistakesPutRightEndAsTheRacesWithoutThem) {
  std::mt19937 random(19122026);
  Window();
  int mistakes = 0;
  for (int race = 0; race < 200; ++race) {
    const std::vector<Rider> riders = RandomRiders(random);
    RunRight(riders);
    const auto right = State();
    Reset();
    RunWithMistakes(riders, random, mistakes);
    ASSERT_EQ(State(), right) << "race " << race;
    Reset();
  }
  EXPECT_GT(mistakes, 400);  // the races held mistakes of every kind
}

TEST_F(RandomRaces, ChainsOfFiftyMixedStepsTakenBackAndDoneAgainPassEveryEarlierState) {
  TFormMain& form = Window();
  for (unsigned seed = 1; seed <= 6; ++seed) {
    std::mt19937 random(seed);
    std::vector<std::vector<QStringList>> states{State()};
    uint32_t now = 0;
    int started = 0;
    for (int attempt = 0; attempt < 400 && form.UndoStack().index() < 50; ++attempt) {
      now += 1000 + static_cast<uint32_t>(random() % 30000);
      At(now);
      const int before = form.UndoStack().index();
      const int32_t rows = form.SortGrid1->RowCount();
      const int32_t row = 1 + static_cast<int32_t>(random() % static_cast<uint32_t>(rows - 1));
      const QString number = form.SortGrid1->Cells(pcNumber, row);
      switch (random() % 9) {
        case 0:
        case 1:
          StartRider(QString::number(100 + started), QStringLiteral("R%1").arg(started), random() % 2 ? "M" : "F");
          ++started;
          break;
        case 2:
        case 3:
          SelectRow(row);
          Key(Qt::Key_F4);
          break;
        case 4:
          SelectRow(row);
          Key(Qt::Key_F9);
          break;
        case 5:
          SelectRow(row);
          form.mCut->trigger();
          break;
        case 6: {
          // A header click: it sorts once the protocol has been ranked.
          const QRect header = form.SortGrid1->CellRect(static_cast<int32_t>(random() % 4), 0).ToQRect();
          QTest::mouseClick(form.SortGrid1->viewport(), Qt::LeftButton, {}, header.center());
          break;
        }
        case 7:
          // The time moved to any rider: refused ones change nothing.
          SelectRow(row);
          form.OpenMoveTime();
          if (form.CorrectionDialog()->isVisible()) {
            const int32_t to = 1 + static_cast<int32_t>(random() % static_cast<uint32_t>(rows - 1));
            form.CorrectionDialog()->Answer->setText(form.SortGrid1->Cells(pcNumber, to));
            QTest::mouseClick(form.CorrectionDialog()->OKBtn, Qt::LeftButton);
            form.CorrectionDialog()->hide();
          }
          break;
        default:
          if (!number.isEmpty() && !form.Protocol().IsEntryRow(row)) {
            SelectRow(row);
            const TRowRecord& record = form.Protocol().Record(row);
            if (record.Times && record.Times->Laps() > 0 && random() % 2)
              form.DeleteLapClick(1 + static_cast<int>(random() % static_cast<uint32_t>(record.Times->Laps())));
            else
              EditNumber(number, QString::number(500 + attempt));
          }
          break;
      }
      if (form.UndoStack().index() > before) states.push_back(State());
    }
    ASSERT_EQ(form.UndoStack().index(), 50) << "seed " << seed;
    ASSERT_EQ(states.size(), 51u);
    for (int k = 50; k > 0; --k) {
      Key(Qt::Key_Z, Qt::ControlModifier);
      ASSERT_EQ(State(), states[static_cast<size_t>(k - 1)]) << "seed " << seed << ", back to " << k - 1;
    }
    for (int k = 1; k <= 50; ++k) {
      Key(Qt::Key_Y, Qt::ControlModifier);
      ASSERT_EQ(State(), states[static_cast<size_t>(k)]) << "seed " << seed << ", again to " << k;
    }
    Reset();
  }
}
