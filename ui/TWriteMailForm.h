#pragma once
// "Mail schreiben": the modal editor window for one mail. It binds the
// controls to TWriteMailState, which decides what every event does; the
// window itself only shows and reads controls.
#include "editor/TWriteMailState.h"
#include "editor/TWriteMailView.h"
#include "ui_TWriteMailForm.h"

#include <QDialog>
#include <QTimer>

namespace postello {

class TWriteMailForm : public QDialog, public TWriteMailView {
  Q_OBJECT
public:
  explicit TWriteMailForm(QWidget* parent = nullptr);

  // Prepares the window for a new mail or for a stored one; exec() then
  // shows it and returns Accepted when the user chose to save.
  void NewMail(const std::vector<std::string>& fieldNames) { m_state.NewMail(fieldNames); }
  void LoadMail(const TMailRecFields& mail, const std::vector<std::string>& fieldNames) {
    m_state.Load(mail, fieldNames);
  }
  // Writes the window's content into mail, dated now.
  void Commit(TMailRecFields& mail);

  TWriteMailState& State() { return m_state; }

  Ui::TWriteMailForm ui;
  QTimer* Timer1 = nullptr;

  // TWriteMailView
  std::string Subject() const override;
  void SetSubject(const std::string& subject) override;
  TDesignDocument Document() const override;
  void SetDocument(const TDesignDocument& doc) override;
  void SetDocumentBackColor(std::uint32_t color) override;
  std::vector<std::string> GeneratedHtml() const override;
  void SetGeneratedHtml(const std::vector<std::string>& lines) override;
  std::vector<std::string> HtmlSource() const override;
  void SetHtmlSource(const std::vector<std::string>& lines) override;
  std::vector<std::string> PlainText() const override;
  void SetPlainText(const std::vector<std::string>& lines) override;
  void ShowMailType(int mailType, bool autoText, const TMailPages& pages) override;
  void ShowNewsDesign(bool newsDesign) override;
  void ShowAttachments(const std::vector<TAttachRec>& rows) override;
  void ShowFields(const std::vector<std::string>& names) override;
  void SelectPages(TMailPage main, TDesignSubPage design, THtmlSubPage html) override;
  void FocusSubject() override;
  void StartTimer() override;
  void StopTimer() override;
  bool TimerActive() const override;

public slots:
  // Every way of closing (the close box, Escape, "Zurück...") comes here
  // and asks whether to save.
  void reject() override;
  void SpeedButton1Click();

protected:
  void showEvent(QShowEvent* event) override; // FormShow
  void hideEvent(QHideEvent* event) override;

private:
  TWriteMailState m_state;
};

} // namespace postello
