#pragma once
// The program's command line: Veltrano [options] [FOLDER]. Read before the application object
// exists, so that --help, --version and a mistyped call never need a display.
#include <QString>
#include <QStringList>

struct TCommandLine {
  enum class TAction {
    Run,    // open the window, in Folder when one is given
    Print,  // write Text to standard output and end with status 0
    Fail,   // write Text to standard error and end with status 2
  };
  TAction Action = TAction::Run;
  QString Folder;  // Run: the working folder, absolute; empty: stay where started
  QString Text;

  int ExitStatus() const { return Action == TAction::Fail ? 2 : 0; }
};

// arguments[0] is the program as called; title and version make "--version"'s line.
TCommandLine ParseCommandLine(const QStringList& arguments, const QString& title,
                              const QString& version);

// Makes the folder the working folder; false with a message for standard error when it cannot.
bool EnterWorkingFolder(const QString& folder, const QString& title, QString& error);
