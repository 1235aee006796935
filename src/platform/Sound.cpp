#include "platform/Sound.h"

#include <QApplication>
#include <QAudioDevice>
#include <QFileInfo>
#include <QMediaDevices>
#include <QPointer>
#include <QSoundEffect>
#include <QUrl>
#include <map>
#include <memory>

namespace platform {
namespace {
SoundService* active = nullptr;

QtSoundService& Real() {
  static QtSoundService service;
  return service;
}

bool HasSoundDevice() { return !QMediaDevices::defaultAudioOutput().isNull(); }
}  // namespace

struct QtSoundService::State {
  struct Entry {
    QPointer<QSoundEffect> effect;
    std::shared_ptr<bool> playWanted = std::make_shared<bool>(false);
  };
  std::map<QString, Entry> effects;  // by absolute path
  std::function<void()> beep;

  void Beep() const {
    if (beep) beep();
    else QApplication::beep();
  }

  // The loaded (or loading) effect of a file. Owned by the application object, so it never
  // outlives the audio system it plays on.
  Entry& EntryOf(const QString& path) {
    Entry& entry = effects[path];
    if (!entry.effect) {
      auto* effect = new QSoundEffect(QCoreApplication::instance());
      entry.effect = effect;
      entry.playWanted = std::make_shared<bool>(false);
      std::weak_ptr<bool> wanted = entry.playWanted;
      QObject::connect(effect, &QSoundEffect::statusChanged, effect, [this, effect, wanted] {
        const auto flag = wanted.lock();
        if (!flag) return;
        if (effect->status() == QSoundEffect::Error && *flag) Beep();
        if (effect->status() != QSoundEffect::Loading) *flag = false;
      });
      effect->setSource(QUrl::fromLocalFile(path));
    }
    return entry;
  }
};

QtSoundService::QtSoundService() : state_(new State) {}

QtSoundService::~QtSoundService() {
  for (auto& [path, entry] : state_->effects) delete entry.effect.data();
  delete state_;
}

void QtSoundService::SetBeep(std::function<void()> beep) { state_->beep = std::move(beep); }

void QtSoundService::Beep() { state_->Beep(); }

bool QtSoundService::PlaySound(const QString& file, uint32_t flags) {
  if (file.isEmpty()) {
    for (auto& [path, entry] : state_->effects)
      if (entry.effect) entry.effect->stop();
    return true;
  }
  const QFileInfo info(file);
  const bool readable = info.isFile() && info.isReadable();
  if (flags & SND_MEMORY) {
    // Priming: load the file so the start sound comes without delay; never play or wait.
    if (!readable) return false;
    if (HasSoundDevice()) state_->EntryOf(info.absoluteFilePath());
    return true;
  }
  if (!readable || !HasSoundDevice()) {
    state_->Beep();
    return false;
  }
  State::Entry& entry = state_->EntryOf(info.absoluteFilePath());
  switch (entry.effect->status()) {
    case QSoundEffect::Error:
      state_->Beep();
      return false;
    case QSoundEffect::Ready:
      entry.effect->play();
      return true;
    default:
      // Still loading: QSoundEffect plays once loaded; a load error beeps then.
      *entry.playWanted = true;
      entry.effect->play();
      return true;
  }
}

SoundService& Sound() { return active ? *active : Real(); }

void SetSoundService(SoundService* service) { active = service; }

}  // namespace platform
