#pragma once

namespace platform {

class PrinterService {
public:
  virtual ~PrinterService() = default;
  // Whether at least one printer is installed.
  virtual bool HasPrinter() = 0;
};

// Asks the printing system once, off the user-interface thread, and caches the answer: a
// printer query can block for seconds and must never hold up a race command.
class QtPrinterService : public PrinterService {
public:
  QtPrinterService();
  ~QtPrinterService() override;
  bool HasPrinter() override;

private:
  struct State;
  State* state_;
};

PrinterService& Printers();
void SetPrinterService(PrinterService* service);  // nullptr restores the real one

}  // namespace platform
