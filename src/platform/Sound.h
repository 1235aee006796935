#pragma once
#include <QString>
#include <cstdint>
#include <functional>

namespace platform {

// Flags of the Windows sound call that callers pass through.
constexpr uint32_t SND_SYNC = 0x0000;
constexpr uint32_t SND_ASYNC = 0x0001;
constexpr uint32_t SND_MEMORY = 0x0004;
constexpr uint32_t SND_FILENAME = 0x20000;

class SoundService {
public:
  virtual ~SoundService() = default;
  // Plays a wave file asynchronously; never blocks. A file that cannot be played, or no sound
  // device, gives the default beep. With SND_MEMORY the file is only loaded (priming).
  virtual bool PlaySound(const QString& file, uint32_t flags) = 0;
  // The platform's short warning sound (a refused press).
  virtual void Beep() = 0;
};

// QSoundEffect per file, kept loaded. An empty file name stops what is playing. Whatever the
// flags say, the call returns at once: a failure that shows only while the file loads gives the
// beep later, from the event loop.
class QtSoundService : public SoundService {
public:
  QtSoundService();
  ~QtSoundService() override;
  QtSoundService(const QtSoundService&) = delete;
  QtSoundService& operator=(const QtSoundService&) = delete;
  bool PlaySound(const QString& file, uint32_t flags) override;
  void Beep() override;
  // Replaces QApplication::beep (tests).
  void SetBeep(std::function<void()> beep);

private:
  struct State;
  State* state_;
};

SoundService& Sound();
void SetSoundService(SoundService* service);  // nullptr restores the real one

}  // namespace platform
