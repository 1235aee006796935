#include "app/CommandLine.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>

namespace {
struct TOptionSpec {
  QStringList Names;
  const char* Help;
};

// One table for the parser and the help page, so the two cannot drift apart.
const TOptionSpec kHelpOption{{QStringLiteral("h"), QStringLiteral("help")},
                              "Zeigt diese Hilfe und beendet das Programm."};
const TOptionSpec kVersionOption{{QStringLiteral("v"), QStringLiteral("version")},
                                 "Zeigt die Version und beendet das Programm."};

QString Usage(const QString& title) { return QStringLiteral("Aufruf: %1 [Optionen] [ORDNER]").arg(title); }

// A name as typed: one letter behind one dash, a word behind two.
QString Dashed(const QString& name) {
  return (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name;
}

QString OptionLabel(const TOptionSpec& option) {
  QStringList shown;
  for (const QString& name : option.Names) shown << Dashed(name);
  return shown.join(QStringLiteral(", "));
}

QString HelpText(const QString& title) {
  QString text = Usage(title) + QStringLiteral(
      "\n\n"
      "Zeitnahme für das Radfahren im Einzelzeitfahren.\n\n"
      "ORDNER ist der Arbeitsordner des Rennens: dort liest das Programm Kategorie.txt und\n"
      "Start.wav und schreibt das Protokoll, den Bericht und das Rennjournal. Ohne ORDNER\n"
      "ist es der Ordner, in dem das Programm gestartet wurde.\n\n"
      "Optionen:\n");
  for (const TOptionSpec* option : {&kHelpOption, &kVersionOption})
    text += QStringLiteral("  %1  %2\n").arg(OptionLabel(*option), -14).arg(QString::fromUtf8(option->Help));
  return text;
}

TCommandLine Failure(const QString& title, const QString& message) {
  TCommandLine result;
  result.Action = TCommandLine::TAction::Fail;
  result.Text = QStringLiteral("%1: %2\n%3 (mehr mit --help)\n").arg(title, message, Usage(title));
  return result;
}

QString Quoted(const QString& text) { return QStringLiteral("\"%1\"").arg(text); }

QString QuotedList(const QStringList& items) {
  QStringList quoted;
  for (const QString& item : items) quoted << Quoted(item);
  return quoted.join(QStringLiteral(", "));
}
}  // namespace

TCommandLine ParseCommandLine(const QStringList& arguments, const QString& title,
                              const QString& version) {
  QCommandLineParser parser;
  const QCommandLineOption help(kHelpOption.Names, QString::fromUtf8(kHelpOption.Help));
  const QCommandLineOption versionOption(kVersionOption.Names, QString::fromUtf8(kVersionOption.Help));
  parser.addOption(help);
  parser.addOption(versionOption);

  if (!parser.parse(arguments)) {
    const QStringList unknown = parser.unknownOptionNames();
    if (unknown.isEmpty()) return Failure(title, parser.errorText());
    // The parser reports names without their dashes.
    QStringList typed;
    for (const QString& name : unknown) typed << Dashed(name);
    return Failure(title, (unknown.size() == 1 ? QStringLiteral("Unbekannte Option %1.")
                                               : QStringLiteral("Unbekannte Optionen %1."))
                              .arg(QuotedList(typed)));
  }

  TCommandLine result;
  if (parser.isSet(help)) {
    result.Action = TCommandLine::TAction::Print;
    result.Text = HelpText(title);
    return result;
  }
  if (parser.isSet(versionOption)) {
    result.Action = TCommandLine::TAction::Print;
    result.Text = QStringLiteral("%1 %2\n").arg(title, version);
    return result;
  }

  const QStringList positional = parser.positionalArguments();
  if (positional.size() > 1)
    return Failure(title, QStringLiteral("Nur ein Arbeitsordner ist möglich, angegeben sind %1.")
                              .arg(QuotedList(positional)));
  if (positional.isEmpty()) return result;

  const QString& folder = positional.front();
  const QFileInfo info(folder);
  if (folder.isEmpty() || !info.exists())
    return Failure(title, QStringLiteral("Der Ordner %1 existiert nicht.").arg(Quoted(folder)));
  if (!info.isDir()) return Failure(title, QStringLiteral("%1 ist kein Ordner.").arg(Quoted(folder)));
  result.Folder = info.absoluteFilePath();
  return result;
}

bool EnterWorkingFolder(const QString& folder, const QString& title, QString& error) {
  if (folder.isEmpty() || QDir::setCurrent(folder)) return true;
  error = QStringLiteral("%1: Der Ordner %2 kann nicht geöffnet werden.\n").arg(title, Quoted(folder));
  return false;
}
