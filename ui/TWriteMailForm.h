#pragma once
// "Mail schreiben": the modal editor window for one mail. It binds the
// controls to TWriteMailState, which decides what every event does; the
// window itself only shows and reads controls.
#include "TNewsDesignForm.h"

#include "editor/TWriteMailState.h"
#include "editor/TWriteMailView.h"
#include "ui_TWriteMailForm.h"

#include <QDialog>
#include <QTimer>
#include <functional>

class QTextBrowser;
class QTextCharFormat;

namespace postello {

class TWriteMailForm : public QDialog, public TWriteMailView {
  Q_OBJECT
public:
  explicit TWriteMailForm(QWidget* parent = nullptr);

  // Prepares the window for a new mail or for a stored one; exec() then
  // shows it and returns Accepted when the user chose to save.
  void NewMail(const std::vector<std::string>& fieldNames) { m_state.NewMail(fieldNames); }
  void LoadMail(const TMailRecFields& mail, const std::vector<std::string>& fieldNames);
  // Writes the window's content into mail, dated now.
  void Commit(TMailRecFields& mail);

  // The folder of the state files (ends with '/'), where the preview file
  // mail~.htm is written. Until it is set, the folder the program would
  // choose for itself.
  void SetProgDir(const std::string& dir) { m_progDir = dir; }
  std::string ProgDir() const;

  // The newsletter design dialog of this window: made once, it keeps its
  // settings between mails; an opened mail's settings are loaded into it,
  // and what it shows when it closes is what the commit stores.
  TNewsDesignForm* DesignForm() const { return m_designForm; }

  TWriteMailState& State() { return m_state; }

  // Stores the window's content where it belongs (the caller's list and
  // file), without closing: Strg+S. Unset: Strg+S does nothing.
  std::function<void()> OnSave;
  // Strg+S: the content is checked as for closing with Yes, stored through
  // OnSave, and counts as unchanged from then on. False when nothing was
  // stored.
  bool SaveNow();
  // "Vorschau für Empfänger": gets the window's content as a commit would
  // store it. Unset: the button is hidden.
  std::function<void(const TMailRecFields&)> OnRecipientPreview;
  void RecipientPreviewBtnClick();

  Ui::TWriteMailForm ui;
  QTimer* Timer1 = nullptr;

  // TWriteMailView
  std::string Subject() const override;
  void SetSubject(const std::string& subject) override;
  std::string Unsubscribe() const override;
  void SetUnsubscribe(const std::string& targets) override;
  bool MergeSubject() const override;
  void SetMergeSubject(bool merge) override;
  bool BccToLine() const override;
  void SetBccToLine(bool on) override;
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

  // The editing commands.
  void InsertFieldClick();
  void AttachBtnClick();
  void DelAttachBtnClick();
  void DelAllAttachBtnClick();
  void PicBtnClick();
  void ImportBtnClick();
  void HTMLImportClick();
  void EditBtnClick();
  void NewsConfigBtnClick();

  // The toolbar of the design document: it follows the caret, and its
  // controls format the text (CurrText: the selection, or what is typed
  // next in an empty document).
  void RichEdit1SelectionChange();
  void BoldBtnClick();
  void ItalicBtnClick();
  void UnderlineBtnClick();
  void FColorBtnClick();
  void FontNameChange();
  void FontSizeChange();
  void PLeftBtnClick();
  void PCenterBtnClick();
  void PRightBtnClick();
  void NumberingBtnClick();
  void BkColorBtnClick();

protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void showEvent(QShowEvent* event) override; // FormShow
  // Underlines unknown words in the design and plain-text editors and in
  // the subject.
  void StartSpellCheck();
  // Checks with the named dictionary from now on (empty: none installed).
  void UseDictionary(const std::string& name);
  bool m_spellStarted = false;
  QComboBox* m_spellBox = nullptr;
  std::vector<QObject*> m_spellHighlighters;
  void hideEvent(QHideEvent* event) override;

private:
  void SetUpToolbar();
  // Carries out a conversion still pending, so a commit takes the state of
  // the last keystroke.
  void FinishConversion();
  // The unsubscribe targets, when no List-Unsubscribe header could carry
  // them: shown, the field focused, false.
  bool UnsubscribeAcceptable();
  void MergeCurrText(const QTextCharFormat& format);
  void SetParagraphAlignment(Qt::Alignment alignment);
  // Where a placeholder (or a picture tag) goes on the visible page.
  TInsertTarget VisibleTarget(bool picture) const;
  // Inserts text at the caret of target's text; nothing for itNone.
  void InsertAt(TInsertTarget target, const std::string& text);
  // Writes the preview file of html and shows it in browser.
  void ShowPreview(QTextBrowser* browser, const std::vector<std::string>& html);

  TWriteMailState m_state;
  TNewsDesignForm* m_designForm = nullptr;
  std::string m_progDir;
};

} // namespace postello
