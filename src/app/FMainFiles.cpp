// The main window's file commands: save, web page and print, the participant list and the
// category list.
#include <QAction>
#include <QComboBox>
#include <QCompleter>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>

#include "app/FMain.h"
#include "grid/SortGrid.h"
#include "io/HtmlReport.h"
#include "platform/AppTitle.h"
#include "platform/FileDialogs.h"
#include "platform/LocalTime.h"
#include "platform/Modal.h"
#include "race/Protocol.h"
#include "widgets/LbSpeedButton.h"

namespace {

constexpr const char* kCategoryFile = "Kategorie.txt";
constexpr const char* kParticipantFilter = " (Tabstopp-getrennt) (*.txt)|*.txt";

}  // namespace

void TFormMain::ConnectFileCommands() {
  excelExport_ = std::make_unique<TSpreadsheetExport>(*SortGrid1, PanelBelowProtocol);
  sbExcel->OnClick = [this](QObject*) { sbExcelClick(); };
  sbHTML->setProperty("Tag", 0);
  sbPrint->setProperty("Tag", 1);
  Drucker1->setProperty("Tag", 1);
  sbSave->OnClick = [this](QObject*) { sbSaveClick(); };
  sbHTML->OnClick = [this](QObject* sender) { sbHTMLClick(sender); };
  sbPrint->OnClick = [this](QObject* sender) { sbHTMLClick(sender); };
  // Alt+D prints in any state: the menu item is never disabled.
  connect(Drucker1, &QAction::triggered, this, [this] { sbHTMLClick(Drucker1); });
  bDB->OnClick = [this](QObject*) {
    bDBClick();
    session_->Changed(QStringLiteral("LOAD"));
  };
  sb1m->OnClick = [this](QObject* sender) { sb1mClick(sender); };
  sb1p->OnClick = [this](QObject* sender) { sb1mClick(sender); };
  // Typing a start number opens the matching choices below the field instead of completing the
  // text in place, so what was typed is what START records; a choice there picks the rider.
  QCompleter* completer = cbStartN->completer();
  completer->setCompletionMode(QCompleter::PopupCompletion);
  completer->setMaxVisibleItems(10);
  connect(completer, qOverload<const QString&>(&QCompleter::activated), this,
          [this](const QString&) { sb1mClick(cbStartN); });
}

void TFormMain::LoadCategoryList() {
  const TListFile file = ReadListFile(kCategoryFile);
  if (!file.Lines) {
    // The design items stay, so the window still works.
    platform::Modal().MessageBox(this, platform::ApplicationTitle(), file.Error, MsgIcon::Error, MsgButtons::Ok);
    return;
  }
  const QStringList choices = CategoryChoices(*file.Lines);
  cbPol->clear();
  cbPol->addItems(choices);
  // An empty file gives an empty list: riders then carry no category and are ranked together.
  cbPol->setCurrentIndex(choices.isEmpty() ? -1 : 0);
}

void TFormMain::sbSaveClick() {
  SaveDialog1.FileName = TimestampFileName(platform::Now());
  if (!SaveDialog1.Execute(this)) return;
  SaveProtocolAs(*SortGrid1, SaveDialog1.FileName, SaveDialog1.FilterIndex, this, session_->Corrections().Entries());
}

void TFormMain::sbExcelClick() { excelExport_->sbExcelClick(); }

void TFormMain::sbHTMLClick(QObject* Sender) {
  const int tag = Sender ? Sender->property("Tag").toInt() : 0;
  PublishHtmlReport(*SortGrid1, tag, this, session_->Corrections().Entries());
}

void TFormMain::bDBClick() {
  platform::FileDialogRequest request;
  request.title = QStringLiteral("Teilnehmerliste laden");
  request.filter = QString::fromLatin1(kParticipantFilter);
  request.filterIndex = 1;
  if (!platform::FileDialogs().GetOpenFileName(this, request)) return;
  QString path = request.fileName;
  // The dialog's default extension: a name typed without one means the ".txt" file.
  const QFileInfo chosen(path);
  if (!chosen.exists() && chosen.suffix().isEmpty() && QFileInfo::exists(path + QStringLiteral(".txt")))
    path += QStringLiteral(".txt");

  const TListFile file = ReadListFile(path);
  if (!file.Lines) {
    platform::Modal().MessageBox(this, platform::ApplicationTitle(), file.Error, MsgIcon::Error, MsgButtons::Ok);
    return;
  }
  const TParticipantList::TLoaded loaded = DataBase.Load(*file.Lines, LabName->text());
  for (int k = 0; k < 3; ++k)
    if (!loaded.Titles[k].isEmpty()) SortGrid1->SetCells(k + 1, 0, loaded.Titles[k]);

  sb1m->setEnabled(false);
  sb1p->setEnabled(DataBase.Count() > 1);
  LabelBase->setEnabled(sb1p->isEnabled());
  // An empty list shows "0 von 0", not the counter of the list it replaced.
  LabelBase->setText(DataBase.CounterText());
  if (DataBase.Count() == 0) return;

  // The drop-down gains the start numbers; the typed text stays until the first rider shows.
  const QString typed = cbStartN->currentText();
  cbStartN->addItems(loaded.StartNumbers);
  cbStartN->setEditText(typed);
  ShowParticipant();
}

void TFormMain::sb1mClick(QObject* Sender) {
  if (Sender == sb1m || Sender == sb1p) {
    DataBase.Step(Sender->property("Tag").toInt());
  } else {
    // The drop-down closed: its chosen item, or the item the typed number names.
    int index = cbStartN->currentIndex();
    if (index < 0 || cbStartN->itemText(index) != cbStartN->currentText()) {
      // The typed number reads as START reads it: "021" chooses the line of 21.
      index = -1;
      const QString typed = NormalStartNumber(cbStartN->currentText());
      for (int i = 0; i < cbStartN->count() && index < 0; ++i)
        if (NormalStartNumber(cbStartN->itemText(i)) == typed) index = i;
    }
    DataBase.Choose(index);
  }
  ShowListPlace();
}

void TFormMain::ShowListPlace() {
  sb1m->setEnabled(DataBase.CanGoBack());
  sb1p->setEnabled(DataBase.CanGoForward());
  LabelBase->setText(DataBase.CounterText());
  ShowParticipant();
}

std::optional<TParticipant> TFormMain::ListedParticipant() const {
  std::optional<TParticipant> participant = DataBase.CurrentParticipant();
  if (participant) participant->Number.truncate(cbStartN->lineEdit()->maxLength());
  return participant;
}

int32_t TFormMain::StartedRow(const TParticipant& participant) const {
  return StartedRowOf(participant, SortGrid1->RowCount(), [this](int32_t c, int32_t r) { return SortGrid1->Cells(c, r); });
}

void TFormMain::ShowParticipant() {
  const std::optional<TParticipant> participant = ListedParticipant();
  if (!participant) return;
  ShowEntryFields(participant->Number, participant->Name, participant->Category);
  // The rider's row is selected once he rides; until then the entry row, so that the fields,
  // the commands and the selection speak of him alike and START takes him.
  const int32_t last = SortGrid1->RowCount() - 1;
  int32_t row = StartedRow(*participant);
  if (row < 1 && session_->Protocol().IsEntryRow(last)) row = last;
  if (row < 1) return;
  RowSelected(row);
  SortGrid1->SetSelection(TGridRect{0, row, SortGrid1->ColCount() - 1, row});
}
