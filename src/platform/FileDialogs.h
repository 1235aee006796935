#pragma once
#include <QString>

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

class QtFileDialogService : public FileDialogService {
public:
  bool GetSaveFileName(QWidget* parent, FileDialogRequest& request) override;
  bool GetOpenFileName(QWidget* parent, FileDialogRequest& request) override;
};

FileDialogService& FileDialogs();
void SetFileDialogService(FileDialogService* service);  // nullptr restores the real one

}  // namespace platform
