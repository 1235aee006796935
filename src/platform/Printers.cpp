#include "platform/Printers.h"

#include <QPrinterInfo>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

namespace platform {
namespace {
PrinterService* active = nullptr;

QtPrinterService& Real() {
  static QtPrinterService service;
  return service;
}

constexpr std::chrono::milliseconds kPatience{100};
// At the program's end a printing system that has not answered yet is not waited for longer.
constexpr std::chrono::milliseconds kExitPatience{200};
}  // namespace

struct QtPrinterService::State {
  std::mutex mutex;
  std::condition_variable answered;
  bool done = false;
  bool hasPrinter = false;
  std::thread worker;
};

QtPrinterService::QtPrinterService()
    : QtPrinterService([] { return !QPrinterInfo::availablePrinterNames().isEmpty(); }) {}

QtPrinterService::QtPrinterService(std::function<bool()> query) : state_(std::make_shared<State>()) {
  state_->worker = std::thread([state = state_, query = std::move(query)] {
    const bool answer = query();
    {
      const std::lock_guard lock(state->mutex);
      state->hasPrinter = answer;
      state->done = true;
    }
    state->answered.notify_all();
  });
}

QtPrinterService::~QtPrinterService() {
  bool done = false;
  {
    std::unique_lock lock(state_->mutex);
    done = state_->answered.wait_for(lock, kExitPatience, [this] { return state_->done; });
  }
  // A query that hangs (a print server that does not answer) must not hold up the exit: the
  // worker keeps its own share of the state and ends with the process.
  if (done)
    state_->worker.join();
  else
    state_->worker.detach();
}

bool QtPrinterService::HasPrinter() {
  std::unique_lock lock(state_->mutex);
  state_->answered.wait_for(lock, kPatience, [this] { return state_->done; });
  return state_->done && state_->hasPrinter;
}

bool QtPrinterService::Answered() const {
  const std::lock_guard lock(state_->mutex);
  return state_->done;
}

PrinterService& Printers() { return active ? *active : Real(); }

void SetPrinterService(PrinterService* service) { active = service; }

}  // namespace platform
