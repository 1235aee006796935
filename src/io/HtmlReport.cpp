#include "io/HtmlReport.h"

#include <QFileInfo>

#include "grid/MyGrids.h"
#include "platform/AnsiText.h"
#include "platform/AppTitle.h"
#include "platform/Modal.h"
#include "platform/Shell.h"

namespace {

// The header cell openers of the twelve columns.
const char* HeaderOpener(int col) {
  switch (col) {
    case 0: case 1: case 9: return "<th width=2%>";
    case 2: return "<th width=10%>";
    default: return "<th width=5%>";
  }
}

constexpr int kHeaderColumns = 12;

void AppendHead(QStringList& page, const QString& title) {
  const QString t = HtmlEscape(title);
  page << QStringLiteral("<HTML>")
       << QStringLiteral("<HEAD>")
       << QStringLiteral("<!--") + QLatin1String(kMakerHost) + QStringLiteral(" software -->")
       << QStringLiteral("<TITLE>") + t + QStringLiteral("</TITLE>")
       << QStringLiteral("<META http-equiv=Content-Type content=\"text/html; charset=iso-8859-1\">")
       << QStringLiteral("<META name=keywords content=\"") + t + QStringLiteral("\">")
       << QStringLiteral("<META name=description content=\"Quorvex professional software development for all\">")
       << QStringLiteral("<META name=\"Webdesign\" content=\"") + QLatin1String(kWebDesignerAddress) +
              QStringLiteral("\">")
       << QStringLiteral("<STYLE type=text/css>")
       << QStringLiteral("body {  background-color:#ECF5FF;")
       << QStringLiteral("\tfont-family:Arial;")
       << QStringLiteral("\tscrollbar-base-color:#8C8CC6;")
       << QStringLiteral("\tscrollbar-3dlight-color:#FFFFFF;")
       << QStringLiteral("\tscrollbar-arrow-color:#FFFFFF;")
       << QStringLiteral("\tscrollbar-darkshadow-color:0;")
       << QStringLiteral("\tscrollbar-face-color:#91B5FF;")
       << QStringLiteral("\tscrollbar-highlight-color:#FFFFFF;")
       << QStringLiteral("\tscrollbar-shadow-color:0;")
       << QStringLiteral("\tscrollbar-track-color:#ECF5FF;}")
       << QStringLiteral("\th6 {background:#91B5FF}")
       << QStringLiteral("h1 {\tbackground:#FFFFFF;")
       << QStringLiteral("\tfont-size:14pt;\tcolor:#333333;")
       << QStringLiteral("\tfont-style:italic;")
       << QStringLiteral("\tborder-bottom:4px double;")
       << QStringLiteral("\tpadding-bottom:4px;}")
       << QStringLiteral("pre {\tbackground-color: #FFFFFF;")
       << QStringLiteral("\tbackground-image: url(Quorvex.gif);")
       << QStringLiteral("\tline-height: 22px;")
       << QStringLiteral("\tWIDTH: 649px;")
       << QStringLiteral("\tbackground-repeat: repeat-y;")
       << QStringLiteral("\ttext-transform: uppercase;")
       << QStringLiteral("\tborder:solid;")
       << QStringLiteral("\tborder-width: 0px 0px 1px;")
       << QStringLiteral("\tborder-color: black black #999999}")
       << QStringLiteral("A:hover{background-color: #FFFFFF;")
       << QStringLiteral("\tTEXT-DECORATION: none}")
       << QStringLiteral("</STYLE>")
       << QStringLiteral("</HEAD>")
       << QStringLiteral("<BODY>")
       << QStringLiteral("<DIV style=\"FILTER: Blur(direction=225, strength=6); WIDTH:100%\">")
       << QStringLiteral("<H1>Zeitenprotokoll</H1></div>");
}

void AppendTableHead(QStringList& page, const TMyStringGrid& grid) {
  page << QStringLiteral("<table style=\"BORDER-COLLAPSE: collapse\" bgcolor=#FFFFFF borderColor=#808080 border=1 "
                         "cellpadding=4>")
       << QStringLiteral("<colgroup valign=top><col align=right><col align=right><col><col><col align=right>"
                         "<col align=right><col align=right><col align=right><col align=right><col align=right>"
                         "<col align=right><col align=right></colgroup>")
       << QStringLiteral("<thead align=left bgcolor=#91B5FF>")
       << QStringLiteral("<tr>");
  for (int col = 0; col < kHeaderColumns; ++col)
    page << QLatin1String(HeaderOpener(col)) + HtmlEscape(grid.Cells(col, 0));
  page << QStringLiteral("</tr></thead>");
}

void AppendCorrections(QStringList& page, const std::vector<TCorrection>& corrections) {
  if (corrections.empty()) return;
  page << QStringLiteral("<P><B>Korrekturen</B></P>")
       << QStringLiteral("<table style=\"BORDER-COLLAPSE: collapse\" bgcolor=#FFFFFF borderColor=#808080 border=1 "
                         "cellpadding=4>")
       << QStringLiteral("<thead align=left bgcolor=#91B5FF>")
       << QStringLiteral("<tr><th>Uhrzeit<th>Fahrer<th>") + HtmlEscape(QStringLiteral("Änderung")) +
              QStringLiteral("<th>Alt<th>Neu</tr></thead>");
  for (const TCorrection& correction : corrections) {
    QString line = QStringLiteral("<tr>");
    for (const QString& field : correction.ToLine().split(u'\t')) line += QStringLiteral("<td>") + HtmlEscape(field);
    page << line + QStringLiteral("</tr>");
  }
  page << QStringLiteral("</table>");
}

void AppendFoot(QStringList& page, const QString& title) {
  page << QStringLiteral("<FONT face=Arial size=4><B>")
       << QStringLiteral("<P align=right><a style=\"cursor:help\" href=\"") + QLatin1String(kMakerAddress) +
              QStringLiteral("\" title=\"") + HtmlEscape(title) +
              QStringLiteral("\"><FONT color=#FF0000>Qu<FONT color=#009900>or<FONT color=#999999>vex</a>"
                             "<FONT color=#666600 size=3>&nbsp;Software</P>")
       << QStringLiteral("</body></html>");
}

}  // namespace

QString HtmlEscape(const QString& text) {
  QString out;
  out.reserve(text.size());
  for (qsizetype i = 0; i < text.size(); ++i) {
    const QChar c = text.at(i);
    switch (c.unicode()) {
      case '&': out += QStringLiteral("&amp;"); continue;
      case '<': out += QStringLiteral("&lt;"); continue;
      case '>': out += QStringLiteral("&gt;"); continue;
      case '"': out += QStringLiteral("&quot;"); continue;
      default: break;
    }
    if (platform::FitsWindows1252(QString(c))) {
      out += c;
      continue;
    }
    // One reference per character, a surrogate pair included.
    char32_t code = c.unicode();
    if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
      code = QChar::surrogateToUcs4(c, text.at(i + 1));
      ++i;
    }
    out += QStringLiteral("&#") + QString::number(static_cast<uint32_t>(code)) + u';';
  }
  return out;
}

QString HtmlBodyCell(const QString& cellText) {
  QString text = cellText;
  const qsizetype comma = text.indexOf(u',');
  if (comma >= 0) text[comma] = u'.';
  if (text == u"-") return QStringLiteral("<td><h6>-");
  return QStringLiteral("<td>") + HtmlEscape(text);
}

QStringList HtmlReportLines(const TMyStringGrid& grid, const QString& title,
                            const std::vector<TCorrection>& corrections) {
  QStringList page;
  AppendHead(page, title);
  AppendTableHead(page, grid);
  const int32_t lastCol = grid.ColCount() - 3;
  for (int32_t row = 1; row < grid.RowCount(); ++row) {
    QString line = QStringLiteral("<tr>");
    for (int32_t col = 0; col <= lastCol; ++col) line += HtmlBodyCell(grid.Cells(col, row));
    line += QStringLiteral("</tr>");
    page << line;
  }
  page << QStringLiteral("</table>");
  AppendCorrections(page, corrections);
  AppendFoot(page, title);
  return page;
}

QString WriteErrorText(const QString& fileName) { return QStringLiteral("Der Schreibfehler der Datei: ") + fileName; }

void ShowWriteError(const QString& fileName, QWidget* parent) {
  platform::Modal().MessageBox(parent, platform::ApplicationTitle(), WriteErrorText(fileName), MsgIcon::Error,
                               MsgButtons::Ok);
}

bool WriteHtmlReport(const TMyStringGrid& grid, const QString& fileName, QWidget* parent,
                     const std::vector<TCorrection>& corrections) {
  if (platform::WriteTextFile(fileName, HtmlReportLines(grid, platform::ApplicationTitle(), corrections))) return true;
  ShowWriteError(fileName, parent);
  return false;
}

QString ReportFileName() { return platform::ApplicationTitle() + QStringLiteral(".html"); }

void PublishHtmlReport(const TMyStringGrid& grid, int tag, QWidget* parent, const std::vector<TCorrection>& corrections) {
  const QString fileName = ReportFileName();
  if (!WriteHtmlReport(grid, fileName, parent, corrections) || !QFileInfo::exists(fileName)) return;
  if (tag == 0) platform::Shell().Execute(QStringLiteral("open"), fileName);
  else if (tag == 1) platform::Shell().Execute(QStringLiteral("print"), fileName);
}
