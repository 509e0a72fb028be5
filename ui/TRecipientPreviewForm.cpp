#include "TRecipientPreviewForm.h"

#include "QtText.h"
#include "TWebPreview.h"
#include "editor/PreviewHtml.h"
#include "send/RecipientPreview.h"

#include <QUrl>
#include <algorithm>
#include <exception>

namespace postello {

TRecipientPreviewForm::TRecipientPreviewForm(const TMailRecFields& mail, TDbf& table, TRecipientList recipients,
                                             QWidget* parent)
    : QDialog(parent), m_mail(mail), m_table(table), m_recipients(std::move(recipients)) {
  ui.setupUi(this);
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  connect(ui.PrevBtn, &QToolButton::clicked, this, [this] { ShowRecipient(m_current - 1); });
  connect(ui.NextBtn, &QToolButton::clicked, this, [this] { ShowRecipient(m_current + 1); });
  connect(ui.CloseBtn, &QPushButton::clicked, this, &QDialog::accept);
  for (std::uint32_t k = 0; k < mail.Attachments.Count(); ++k) {
    const TAttachRec& a = mail.Attachments[k];
    ui.AttachList->addItem(a.ContentId.empty() ? ToQ(a.FileName)
                                               : ToQ(a.FileName) + QStringLiteral(" (eingebettet als cid:") +
                                                     ToQ(a.ContentId) + QStringLiteral(")"));
  }
  ui.PartTabs->setTabText(2, QStringLiteral("Anhänge (%1)").arg(mail.Attachments.Count()));
  ShowRecipient(0);
}

void TRecipientPreviewForm::ShowRecipient(int index) {
  const int count = static_cast<int>(m_recipients.size());
  m_current = count == 0 ? 0 : std::clamp(index, 0, count - 1);
  ui.PrevBtn->setEnabled(m_current > 0);
  ui.NextBtn->setEnabled(m_current + 1 < count);
  ui.RecordLabel->setText(QStringLiteral("Datensatz %1 von %2").arg(count == 0 ? 0 : m_current + 1).arg(count));
  if (count == 0) {
    ui.AddressLabel->setText(QStringLiteral("Die Adresstabelle hat keinen Empfänger (Filter beachtet)."));
    ui.SubjectEd->clear();
    ui.HtmlView->clear();
    ui.TextView->clear();
    ui.UnknownLabel->hide();
    return;
  }
  const TRecipientRow& row = m_recipients[static_cast<std::size_t>(m_current)];
  ui.AddressLabel->setText(QStringLiteral("An: ") + ToQ(row.Address));
  TRecipientPreview p;
  try {
    p = PreviewForRecord(m_mail, m_table, row.Position);
  } catch (const std::exception& e) {
    ui.UnknownLabel->setText(ToQ(e.what()));
    ui.UnknownLabel->show();
    return;
  }
  ui.SubjectEd->setText(ToQ(p.Subject));
  ui.SubjectEd->setCursorPosition(0);
  std::vector<TAttachRec> rows;
  for (std::uint32_t k = 0; k < m_mail.Attachments.Count(); ++k) rows.push_back(m_mail.Attachments[k]);
  if (p.HasHtml)
    // Embedded pictures are referenced by absolute file paths.
    ShowPreviewHtml(ui.HtmlView, ToQ(PreviewHtmlLines({MarkPlaceholders(p.Html, p.Unknown)}, rows).front()),
                    QUrl::fromLocalFile(QStringLiteral("/")));
  else
    ui.HtmlView->setPlainText(QStringLiteral("Eine Text-Mail hat keinen HTML-Teil."));
  ui.PartTabs->setTabEnabled(0, p.HasHtml);
  if (!p.HasHtml && ui.PartTabs->currentIndex() == 0) ui.PartTabs->setCurrentIndex(1);
  ui.TextView->setPlainText(ToQ(p.Text));
  QStringList unknown;
  for (const std::string& u : p.Unknown) unknown << ToQ(u);
  ui.UnknownLabel->setText(QStringLiteral("Platzhalter ohne passendes Feld (gehen so hinaus, wie geschrieben): ") +
                           unknown.join(QStringLiteral(", ")));
  ui.UnknownLabel->setStyleSheet(QStringLiteral("color: #b00000;"));
  ui.UnknownLabel->setVisible(!unknown.isEmpty());
}

} // namespace postello
