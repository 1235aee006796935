#include "platform/FileDialogs.h"

#include <QFileDialog>

namespace platform {
namespace {
FileDialogService* active = nullptr;

QtFileDialogService& Real() {
  static QtFileDialogService service;
  return service;
}

bool Run(QWidget* parent, FileDialogRequest& request, bool save) {
  QFileDialog dialog(parent, request.title, request.initialDir);
  dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  // The descriptions already name their patterns; an existing file is replaced without asking.
  dialog.setOption(QFileDialog::HideNameFilterDetails);
  if (save) dialog.setOption(QFileDialog::DontConfirmOverwrite);
  const QStringList filters = QtNameFilters(request.filter);
  if (!filters.isEmpty()) {
    dialog.setNameFilters(filters);
    if (request.filterIndex >= 1 && request.filterIndex <= filters.size())
      dialog.selectNameFilter(filters.at(request.filterIndex - 1));
  }
  if (!request.fileName.isEmpty()) dialog.selectFile(request.fileName);
  if (dialog.exec() != QDialog::Accepted) return false;
  const QStringList chosen = dialog.selectedFiles();
  if (chosen.isEmpty() || chosen.first().isEmpty()) return false;
  request.fileName = chosen.first();
  // With the details hidden, Qt may hand back the filter without its patterns.
  const QString selected = dialog.selectedNameFilter();
  const QStringList parts = request.filter.split(u'|');
  for (qsizetype i = 0; i < filters.size(); ++i) {
    if (filters.at(i) == selected || parts.at(2 * i) == selected) {
      request.filterIndex = static_cast<int>(i) + 1;
      break;
    }
  }
  return true;
}
}  // namespace

QStringList QtNameFilters(const QString& toolkitFilter) {
  QStringList filters;
  const QStringList parts = toolkitFilter.split(u'|');
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    QStringList patterns = parts.at(i + 1).split(u';', Qt::SkipEmptyParts);
    for (QString& pattern : patterns) pattern = pattern.trimmed();
    filters << parts.at(i) + QStringLiteral(" (") + patterns.join(u' ') + u')';
  }
  return filters;
}

bool QtFileDialogService::GetSaveFileName(QWidget* parent, FileDialogRequest& request) {
  return Run(parent, request, true);
}

bool QtFileDialogService::GetOpenFileName(QWidget* parent, FileDialogRequest& request) {
  return Run(parent, request, false);
}

FileDialogService& FileDialogs() { return active ? *active : Real(); }

void SetFileDialogService(FileDialogService* service) { active = service; }

}  // namespace platform
