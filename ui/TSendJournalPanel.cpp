#include "TSendJournalPanel.h"

#include "QtText.h"
#include "TTestMailForm.h"

#include "core/StoredDateTime.h"
#include "core/SafeFile.h"
#include "core/TMessageSink.h"

#include <QFileDialog>

namespace postello {
namespace {

constexpr const char* kResumeCaption = "Versand fortsetzen";
constexpr const char* kRetryCaption = "Fehlgeschlagene erneut senden";

// Addresses one a line, at most 20, then how many more.
std::string AddressLines(const std::vector<std::string>& addresses) {
  std::string out;
  for (std::size_t i = 0; i < addresses.size() && i < 20; ++i) out += "\n" + addresses[i];
  if (addresses.size() > 20) out += "\n... und " + std::to_string(addresses.size() - 20) + " weitere";
  return out;
}

} // namespace

TSendJournalPanel::TSendJournalPanel(TMainState& state, QWidget* parent) : QWidget(parent), m_state(state) {
  ui.setupUi(this);
  connect(ui.ResumeBtn, &QPushButton::clicked, this, &TSendJournalPanel::ResumeBtnClick);
  connect(ui.RetryBtn, &QPushButton::clicked, this, &TSendJournalPanel::RetryBtnClick);
  connect(ui.ExportFailedBtn, &QPushButton::clicked, this, &TSendJournalPanel::ExportFailedBtnClick);
  connect(ui.TestMailBtn, &QPushButton::clicked, this, &TSendJournalPanel::TestMailBtnClick);
  ShowState();
}

void TSendJournalPanel::ShowState() {
  m_last.reset();
  const int mail = MailIndex ? MailIndex() : -1;
  const bool haveMail = mail >= 0 && static_cast<std::uint32_t>(mail) < m_state.Mails.Count();
  ui.JournalLabel->setText(haveMail ? ToQ(StateText(m_state.Mails[static_cast<std::size_t>(mail)])) : QString());
  SetRunning(m_running);
}

std::string TSendJournalPanel::StateText(const TMailRec& mail) {
  try {
    m_last = LastRunOfMail(m_state.ProgDir, mail.Id, mail.Subject, DateTimeToText(mail.Date), mail.FirstDate);
  } catch (const EJournalError& e) {
    return e.what();  // an unsafe folder: nothing of it is shown or resumed
  }
  if (!m_last) return "Diese Mail wurde noch nicht versandt.";
  const TJournalRun& run = *m_last;
  const std::string counts = std::to_string(run.Count(TJournalResult::Sent)) + " von " +
                             std::to_string(run.Plan.size()) + " Nachrichten gesendet, " +
                             std::to_string(run.Count(TJournalResult::Failed)) + " fehlgeschlagen, " +
                             std::to_string(run.Count(TJournalResult::Uncertain)) + " unsicher.";
  std::string text = run.Unfinished()
                         ? "Der letzte Versand dieser Mail (" + run.Info.StartTime + ") wurde nicht beendet: " + counts
                         : "Letzter Versand dieser Mail (" + run.Info.StartTime + "): " + counts;
  if (!run.Problem().empty()) text += "\n" + run.Problem();
  return text;
}

void TSendJournalPanel::SetRunning(bool running) {
  m_running = running;
  // A damaged journal could make messages look done that are not.
  const bool usable = m_last && !m_last->Broken;
  const bool failed = usable && m_last->Count(TJournalResult::Failed) > 0;
  ui.ResumeBtn->setEnabled(!running && usable && m_last->Unfinished());
  ui.RetryBtn->setEnabled(!running && failed);
  ui.ExportFailedBtn->setEnabled(!running && failed);
  const int mail = MailIndex ? MailIndex() : -1;
  const int konto = KontoIndex ? KontoIndex() : -1;
  ui.TestMailBtn->setEnabled(!running && mail >= 0 && static_cast<std::uint32_t>(mail) < m_state.Mails.Count() &&
                             konto >= 0 && static_cast<std::uint32_t>(konto) < m_state.Konten.Count());
}

int TSendJournalPanel::RunAccount() const {
  const int konto = RunAccountIndex(m_state.Konten, m_last->Info);
  if (konto < 0)
    ShowError("Das Absender-Konto des letzten Versands (" + m_last->Info.Account + ", " + m_last->Info.Server +
              ") gibt es nicht mehr.");
  return konto;
}

TSendChoice TSendJournalPanel::FollowUp(const TResumePlan& plan, int konto, TJournalRunKind kind) const {
  TSendChoice choice;
  choice.Kind = kind;
  choice.Continues = m_last->FileName();
  choice.KontoIndex = konto;
  choice.MailIndex = MailIndex();
  choice.BatchMode = m_last->Info.BatchMode;
  choice.BccCount = m_last->Info.BatchSize;
  choice.TakeRecipients(plan);
  return choice;
}

void TSendJournalPanel::ResumeBtnClick() {
  ShowState();  // the journal as it is now
  if (!m_last || m_last->Broken || !m_last->Unfinished() || m_running) return;
  const int konto = RunAccount();
  if (konto < 0) return;
  TResumePlan plan = PlanResume(*m_last, Recipients(), false);
  if (!plan.Uncertain.empty()) {
    // The server may have these already: only the user can decide.
    const std::string question =
        std::to_string(plan.Uncertain.size()) +
        " Nachricht(en) sind unsicher: das Ende der Daten wurde gesendet, die Antwort des Servers kam aber nicht "
        "an. Vielleicht sind sie schon zugestellt:" +
        AddressLines(plan.Uncertain) + "\n\nSollen diese Nachrichten noch einmal gesendet werden?";
    if (Messages().Show(question, kResumeCaption, TMsgButtons::YesNo, TMsgIcon::Warning) == TMsgResult::Yes)
      plan = PlanResume(*m_last, Recipients(), true);
  }
  if (!plan.Missing.empty())
    Messages().Show("Diese Adressen stehen nicht mehr in der Empf\xE4ngerliste und werden \xFC" "bergangen:" +
                        AddressLines(plan.Missing),
                    kResumeCaption, TMsgButtons::Ok, TMsgIcon::Information);
  if (plan.Empty()) {
    Messages().Show("Es gibt nichts mehr zu senden.", kResumeCaption, TMsgButtons::Ok, TMsgIcon::Information);
    return;
  }
  Send(FollowUp(plan, konto, TJournalRunKind::Resume));
}

void TSendJournalPanel::RetryBtnClick() {
  ShowState();
  if (!m_last || m_last->Broken || m_last->Count(TJournalResult::Failed) == 0 || m_running) return;
  const int konto = RunAccount();
  if (konto < 0) return;
  const bool sameTable = !m_last->Info.Database.empty() && m_last->Info.Database == m_state.Table1.FileName();
  const TResumePlan plan = PlanRetry(*m_last, Recipients(), sameTable);
  std::string notes;
  for (const TResumePlan::TCorrection& c : plan.Corrected) notes += "\n" + c.Old + " \x96 jetzt " + c.New;
  if (!notes.empty()) notes = "Korrigierte Adressen:" + notes;
  if (!plan.Missing.empty())
    notes += std::string(notes.empty() ? "" : "\n\n") + "Nicht mehr in der Empf\xE4ngerliste, \xFC" "bergangen:" +
             AddressLines(plan.Missing);
  if (!notes.empty()) Messages().Show(notes, kRetryCaption, TMsgButtons::Ok, TMsgIcon::Information);
  if (plan.Empty()) {
    Messages().Show("Es gibt nichts mehr zu senden.", kRetryCaption, TMsgButtons::Ok, TMsgIcon::Information);
    return;
  }
  Send(FollowUp(plan, konto, TJournalRunKind::Retry));
}

void TSendJournalPanel::ExportFailedBtnClick() {
  ShowState();
  if (!m_last || m_last->Broken || m_last->Count(TJournalResult::Failed) == 0) return;
  QFileDialog dialog(this);
  dialog.setObjectName("SaveDialog1");
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setNameFilters({QStringLiteral("CSV-Dateien (*.csv)"), QStringLiteral("Alle Dateien (*.*)")});
  dialog.setDefaultSuffix(QStringLiteral("csv"));
  dialog.selectFile(QStringLiteral("fehlgeschlagen.csv"));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
  try {
    SaveFileSafely(PathFromQ(dialog.selectedFiles().first()), FailedAddressesCsv(*m_last, Recipients()), 0600);
  } catch (const ESaveError& e) {
    ShowError(e.what());
  }
}

void TSendJournalPanel::TestMailBtnClick() {
  const int konto = KontoIndex();
  if (m_running || konto < 0 || static_cast<std::uint32_t>(konto) >= m_state.Konten.Count()) return;
  std::vector<std::string> rows;
  for (const TRecipientRow& row : Recipients()) rows.push_back(row.Address);
  TTestMailForm form(this);
  form.SetChoices(rows, CurrentRow(), m_state.Konten[static_cast<std::size_t>(konto)].Email);
  if (form.exec() != QDialog::Accepted) return;
  TSendChoice choice;
  choice.Kind = TJournalRunKind::Test;
  choice.TestAddress = form.Address();
  if (form.ChosenRow() >= 0) choice.SelectedRows = {static_cast<std::size_t>(form.ChosenRow())};
  choice.KontoIndex = konto;
  choice.MailIndex = MailIndex();
  Send(choice);
}

} // namespace postello
