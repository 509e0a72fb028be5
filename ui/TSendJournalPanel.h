#pragma once
#include "app/TMainState.h"
#include "send/TRecipientList.h"
#include "send/TResumePlan.h"
#include "send/TSendJournal.h"
#include "send/TSendRun.h"
#include "ui_TSendJournalPanel.h"

#include <QWidget>
#include <functional>
#include <optional>

namespace postello {

// The part of the send page about the journal of the chosen mail: what
// became of its last run, and the buttons to resume it ("Versand
// fortsetzen"), to send its failed messages again, to export them, and to
// send a test mail. The decisions are the journal's and TResumePlan's; the
// panel asks the user what only the user can answer and hands the run it
// made up to the main window through Send.
class TSendJournalPanel : public QWidget {
  Q_OBJECT
public:
  explicit TSendJournalPanel(TMainState& state, QWidget* parent = nullptr);

  // What the panel reads of the send page, and how it starts a run. Set
  // by the main window before the panel is used.
  std::function<int()> MailIndex;                     // MailCombo's item index
  std::function<int()> KontoIndex;                    // AbsenderCombo's item index
  std::function<const TRecipientList&()> Recipients;  // the rows of ListView3
  std::function<int()> CurrentRow;                    // the first selected row, -1: none
  std::function<void(const TSendChoice&)> Send;

  // Reads the chosen mail's last run and shows it; call when the mail,
  // the list or the journal changed.
  void ShowState();
  // While a run lasts, no button of the panel can start another.
  void SetRunning(bool running);
  const std::optional<TJournalRun>& LastRun() const { return m_last; }

  Ui::TSendJournalPanel ui;

public slots:
  void ResumeBtnClick();
  void RetryBtnClick();
  void ExportFailedBtnClick();
  void TestMailBtnClick();

private:
  // A run of the same mail, account and mode as the last run, to the rows
  // or the address of the plan.
  TSendChoice FollowUp(const TResumePlan& plan, int konto, TJournalRunKind kind) const;
  // Reads the mail's last run into m_last and says what became of it.
  std::string StateText(const TMailRec& mail);
  // The account of the last run; shows why not and gives -1 when it is gone.
  int RunAccount() const;

  TMainState& m_state;
  std::optional<TJournalRun> m_last;
  bool m_running = false;
};

} // namespace postello
