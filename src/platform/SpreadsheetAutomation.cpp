#include "platform/SpreadsheetAutomation.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibrary>
#include <QMutex>
#include <QMutexLocker>

namespace platform {
namespace {

// The module stays loaded for the life of the process: objects it made may outlive any caller.
CreateSpreadsheetAutomationFn Resolve(const QString& modulePath) {
  static QMutex mutex;
  static QString loadedPath;
  static CreateSpreadsheetAutomationFn create = nullptr;
  static std::unique_ptr<QLibrary> kept;
  QMutexLocker lock(&mutex);
  if (create && (modulePath.isEmpty() || modulePath == loadedPath)) return create;

  QStringList candidates;
  if (!modulePath.isEmpty()) {
    candidates << modulePath;
  } else {
    // Beside the executable in a build; where the package installs it, relative to bin/.
    const QDir exeDir(QCoreApplication::applicationDirPath());
    const QString module = QString::fromLatin1(kSpreadsheetModule);
    candidates << exeDir.filePath(module)
               << exeDir.filePath(QStringLiteral(VELTRANO_OFFICE_MODULE_DIR "/") + module);
  }
  for (const QString& candidate : candidates) {
    auto library = std::make_unique<QLibrary>(candidate);
    if (!library->load()) continue;
    if (auto fn = reinterpret_cast<CreateSpreadsheetAutomationFn>(library->resolve(kCreateSpreadsheetAutomation))) {
      // Destroying a QLibrary does not unload it; the old one of an overridden path stays loaded.
      kept = std::move(library);
      create = fn;
      loadedPath = candidate;
      return create;
    }
    library->unload();
  }
  return nullptr;
}

}  // namespace

std::unique_ptr<SpreadsheetAutomation> LoadSpreadsheetAutomation(const SpreadsheetOptions& options,
                                                                 const QString& modulePath) {
  const CreateSpreadsheetAutomationFn create = Resolve(modulePath);
  if (!create) return nullptr;
  return std::unique_ptr<SpreadsheetAutomation>(create(&options));
}

}  // namespace platform
