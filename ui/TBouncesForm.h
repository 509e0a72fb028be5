#pragma once
#include "ui_TBouncesForm.h"

#include "imap/TMailFolder.h"
#include "send/TBounceReading.h"

#include <QDialog>
#include <QString>
#include <atomic>
#include <functional>
#include <memory>
#include <string>

namespace postello {

// What the reply mailbox holds, and "Übernehmen". Reading and taking over
// run on a worker thread, each on a connection of its own, behind a
// progress dialog whose "Abbrechen" stops them between two batches.
class TBouncesForm : public QDialog {
  Q_OBJECT
public:
  // Opens the mailbox's folder on the worker thread; cancel ends its waits.
  // Throws with a German message.
  using TOpenFolder = std::function<std::shared_ptr<TMailFolder>(const std::atomic<bool>* cancel)>;

  TBouncesForm(TBounceReading reading, std::string doneFolder, TOpenFolder open, QWidget* parent = nullptr);

  // Reads and shows the result; false, after the message, when the
  // mailbox could not be read, and when the user cancelled.
  bool Read();
  // "Übernehmen": takes the result over once.
  void Apply();
  const TBounceResult& Result() const { return m_result; }

  // Runs on the window's thread after each reading and taking over, once
  // its error is shown; the main window reports failed saves there.
  std::function<void()> AfterWork;

  Ui::TBouncesForm ui;

private:
  // work on a worker thread behind the progress dialog; false after
  // showing its error, or when cancelled.
  bool InBackground(const QString& label, const std::function<void(TMailFolder&)>& work);
  void ShowResult();

  TBounceReading m_reading;
  std::string m_doneFolder;
  TOpenFolder m_open;
  TBounceResult m_result;
  std::atomic<bool> m_cancel{false};
};

} // namespace postello
