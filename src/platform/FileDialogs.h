#pragma once
#include <QString>
#include <QStringList>

class QWidget;

namespace platform {

// What an open or save dialog is given and gives back.
struct FileDialogRequest {
  QString title;
  QString initialDir;
  QString fileName;   // in: proposed name; out: chosen path
  QString filter;     // toolkit style: "Description|*.ext|Description|*.ext"
  int filterIndex = 1;  // 1-based, in and out
};

class FileDialogService {
public:
  virtual ~FileDialogService() = default;
  // True when the user chose a file; request.fileName and filterIndex then hold the choice.
  virtual bool GetSaveFileName(QWidget* parent, FileDialogRequest& request) = 0;
  virtual bool GetOpenFileName(QWidget* parent, FileDialogRequest& request) = 0;
};

// QFileDialog. The save dialog asks nothing before replacing a file and adds no extension.
class QtFileDialogService : public FileDialogService {
public:
  bool GetSaveFileName(QWidget* parent, FileDialogRequest& request) override;
  bool GetOpenFileName(QWidget* parent, FileDialogRequest& request) override;
};

// The toolkit filter "Desc|*.a;*.b|Desc2|*.c" as Qt's name filters ("Desc (*.a *.b)", ...), in
// the same order, so entry i is the toolkit's filter index i + 1.
QStringList QtNameFilters(const QString& toolkitFilter);

FileDialogService& FileDialogs();
void SetFileDialogService(FileDialogService* service);  // nullptr restores the real one

}  // namespace platform
