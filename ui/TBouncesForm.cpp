#include "TBouncesForm.h"

#include "QtText.h"

#include "core/TMessageSink.h"

#include <QEventLoop>
#include <QHeaderView>
#include <QProgressDialog>

#include <algorithm>
#include <thread>

namespace postello {

TBouncesForm::TBouncesForm(TBounceReading reading, std::string doneFolder, TOpenFolder open, QWidget* parent)
    : QDialog(parent), m_reading(std::move(reading)), m_doneFolder(std::move(doneFolder)), m_open(std::move(open)) {
  ui.setupUi(this);
  ui.ApplyBtn->setEnabled(false);
  connect(ui.ApplyBtn, &QPushButton::clicked, this, &TBouncesForm::Apply);
  connect(ui.CloseBtn, &QPushButton::clicked, this, &QDialog::accept);
}

bool TBouncesForm::InBackground(const QString& label, const std::function<void(TMailFolder&)>& work) {
  m_cancel = false;
  QProgressDialog progress(label, QStringLiteral("Abbrechen"), 0, 0, this);
  progress.setWindowModality(Qt::WindowModal);
  progress.setMinimumDuration(0);
  progress.setAutoClose(false);
  progress.setAutoReset(false);
  connect(&progress, &QProgressDialog::canceled, this, [this] { m_cancel = true; });
  m_reading.Cancel = &m_cancel;
  m_reading.OnProgress = [&progress](std::size_t done, std::size_t total) {
    // Queued to the dialog: dropped when it is gone.
    QMetaObject::invokeMethod(
        &progress,
        [&progress, done, total] {
          progress.setMaximum(static_cast<int>(total));
          progress.setValue(static_cast<int>(done));
        },
        Qt::QueuedConnection);
  };
  std::string error;
  QEventLoop loop;
  // The window stays responsive meanwhile, and a question about the
  // server's certificate can be asked from the worker.
  std::thread worker([&] {
    try {
      const std::shared_ptr<TMailFolder> folder = m_open(&m_cancel);
      work(*folder);
    } catch (const std::exception& e) {
      error = e.what();
    }
    QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
  });
  progress.show();
  loop.exec();
  worker.join();
  m_reading.OnProgress = nullptr;
  // Closing the dialog counts as its "Abbrechen": what the user chose is taken before.
  const bool cancelled = m_cancel;
  progress.disconnect(this);
  progress.close();
  if (!cancelled && !error.empty()) ShowError(error);
  if (AfterWork) AfterWork();
  return !cancelled && error.empty();
}

bool TBouncesForm::Read() {
  const bool ok = InBackground(QStringLiteral("R\u00FCckl\u00E4ufer werden gelesen..."),
                               [this](TMailFolder& folder) { m_result = m_reading.Read(folder); });
  if (!ok || m_result.Cancelled) return false;
  ShowResult();
  return true;
}

void TBouncesForm::ShowResult() {
  ui.ResultView->clear();
  for (const TBounceRow& r : m_result.Rows) {
    auto* item = new QTreeWidgetItem(QStringList{ToQ(r.Address), ToQ(InboxKindText(r.Kind)), ToQ(r.ActionText()),
                                                 ToQ(r.Reason), ToQ(r.Date), ToQ(r.Run),
                                                 r.RecNo != 0 ? QString::number(r.RecNo) : QString()});
    item->setToolTip(3, ToQ(r.Reason));
    ui.ResultView->addTopLevelItem(item);
  }
  // A server's long text must not push the other columns out of sight.
  for (int c = 0; c < ui.ResultView->columnCount(); ++c) {
    ui.ResultView->resizeColumnToContents(c);
    ui.ResultView->setColumnWidth(c, std::min(ui.ResultView->columnWidth(c), 260));
  }
  ui.CountsLabel->setText(ToQ(m_result.ReadText()));
  ui.ApplyBtn->setEnabled(m_result.MovingMessages() > 0);
}

void TBouncesForm::Apply() {
  ui.ApplyBtn->setEnabled(false);
  TBounceApplied applied;
  const bool ok = InBackground(QStringLiteral("R\u00FCckl\u00E4ufer werden \u00FCbernommen..."), [&](TMailFolder& folder) {
    applied = m_reading.Apply(folder, m_result, m_doneFolder);
  });
  if (!ok && !applied.Cancelled) return;
  ui.CountsLabel->setText(ToQ(applied.Text(m_doneFolder) + (applied.Cancelled ? "; abgebrochen." : ".")));
}

} // namespace postello
