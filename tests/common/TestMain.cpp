// The main of every test executable: an offscreen QApplication titled "Veltrano", a private
// settings and working folder, and the doubles of the platform services installed.
#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>
#include <clocale>
#include <cstdlib>

#include "common/Doubles.h"
#include "platform/AppTitle.h"
#include "platform/Application.h"
#include "platform/LocalTime.h"
#include "platform/LocaleFormats.h"

namespace {

// Clears the doubles between tests, so no script or record leaks into the next one.
class DoublesListener : public ::testing::EmptyTestEventListener {
  void OnTestEnd(const ::testing::TestInfo&) override {
    auto& d = testing_doubles::Doubles();
    d.modal.Reset();
    d.fileDialogs.Reset();
    d.shell.calls.clear();
    d.sound.calls.clear();
    d.sound.beeps = 0;
    d.help.shown.clear();
    d.printers.hasPrinter = true;
    // What a test pinned or swapped does not reach the next one.
    platform::PinFormatLocale(std::nullopt);
    platform::SetNowSource({});
    platform::SetApplicationTitle("Veltrano");
    platform::SetTickSource(&d.clock);
  }
};

}  // namespace

int main(int argc, char** argv) {
  // The suites that need a real window system run on a private X server of their own.
  if (qEnvironmentVariableIsEmpty("VELTRANO_TEST_ON_DISPLAY")) qputenv("QT_QPA_PLATFORM", "offscreen");
  std::setlocale(LC_ALL, "C");

  // Each test process gets its own settings and working folder, so suites can run in parallel.
  QTemporaryDir scratch;
  if (!scratch.isValid()) return 2;
  QDir(scratch.path()).mkpath("config");
  QDir(scratch.path()).mkpath("work");
  qputenv("XDG_CONFIG_HOME", QDir(scratch.path()).filePath("config").toLocal8Bit());
  QDir::setCurrent(QDir(scratch.path()).filePath("work"));

  platform::Application app(argc, argv);
  platform::SetApplicationTitle("Veltrano");

  auto& d = testing_doubles::Doubles();
  platform::SetTickSource(&d.clock);
  platform::SetModalService(&d.modal);
  platform::SetShellService(&d.shell);
  platform::SetSoundService(&d.sound);
  platform::SetPrinterService(&d.printers);
  platform::SetHelpService(&d.help);
  platform::SetFileDialogService(&d.fileDialogs);

  ::testing::InitGoogleTest(&argc, argv);
  ::testing::UnitTest::GetInstance()->listeners().Append(new DoublesListener);
  const int result = RUN_ALL_TESTS();

  platform::SetTickSource(nullptr);
  platform::SetModalService(nullptr);
  platform::SetShellService(nullptr);
  platform::SetSoundService(nullptr);
  platform::SetPrinterService(nullptr);
  platform::SetHelpService(nullptr);
  platform::SetFileDialogService(nullptr);
  return result;
}
