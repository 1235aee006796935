#pragma once
#include <functional>
#include <memory>

namespace platform {

class PrinterService {
public:
  virtual ~PrinterService() = default;
  // Whether at least one printer is installed.
  virtual bool HasPrinter() = 0;
};

// Asks the printing system once, off the user-interface thread, and caches the answer: a
// printer query can block for seconds and must never hold up a race command. The query starts
// when the service is built (the real one on the first call of Printers(), so the program calls
// it early at start-up). Until the answer is there, HasPrinter waits at most about 100 ms and
// then answers false for now: the print button stays disabled until the next time it is
// updated, while the print command itself (which does not ask) is never held up.
class QtPrinterService : public PrinterService {
public:
  QtPrinterService();
  // With another query in place of the printing system's (tests).
  explicit QtPrinterService(std::function<bool()> query);
  ~QtPrinterService() override;
  QtPrinterService(const QtPrinterService&) = delete;
  QtPrinterService& operator=(const QtPrinterService&) = delete;
  bool HasPrinter() override;
  // Whether the printing system has answered yet.
  bool Answered() const;

private:
  struct State;
  std::shared_ptr<State> state_;  // shared with the worker, which may outlive the service
};

PrinterService& Printers();
void SetPrinterService(PrinterService* service);  // nullptr restores the real one

}  // namespace platform
