#pragma once
// What the mail editor's state needs of its window: the controls that hold
// the user's text, the page visibility it decides, and the conversion
// timer. The Qt window implements it; tests implement it with plain fields.
#include "core/TMailRec.h"
#include "editor/TDesignDocument.h"

#include <string>
#include <vector>

namespace postello {

// Pages of the main page control, in their order.
enum TMailPage { mpDesign, mpHtml, mpText };

// Sub-pages of "Design" and of "Reines HTML".
enum TDesignSubPage { dpEdit, dpSource, dpPreview };
enum THtmlSubPage { hpEdit, hpPreview };

// Which main pages a mail type shows and whether the auto text box can be
// used.
struct TMailPages {
  bool Design = false;
  bool Html = false;
  bool Text = false;
  bool AutoTextEnabled = false;

  bool operator==(const TMailPages&) const = default;
};

// Texts are Windows-1252, one entry per line without line ends. Every
// Set... call replaces the whole content. Setting a control from here must
// not call back into the state: the window blocks its own change
// notifications while it follows these calls, except those of the
// formatted document and of the two HTML memos, which the state expects.
class TWriteMailView {
public:
  virtual ~TWriteMailView() = default;

  virtual std::string Subject() const = 0;
  virtual void SetSubject(const std::string& subject) = 0;
  // The mail's options below the subject line (TMailRec's Unsubscribe
  // MergeSubject and BccToLine).
  virtual std::string Unsubscribe() const = 0;
  virtual void SetUnsubscribe(const std::string& targets) = 0;
  virtual bool MergeSubject() const = 0;
  virtual void SetMergeSubject(bool merge) = 0;
  virtual bool BccToLine() const = 0;
  virtual void SetBccToLine(bool on) = 0;

  // The formatted document's paragraphs (its background is kept by the
  // state, so BackColor of the result is not used).
  virtual TDesignDocument Document() const = 0;
  // Replaces the document and shows its background colour.
  virtual void SetDocument(const TDesignDocument& doc) = 0;
  virtual void SetDocumentBackColor(std::uint32_t color) = 0;

  virtual std::vector<std::string> GeneratedHtml() const = 0;   // Memo3
  virtual void SetGeneratedHtml(const std::vector<std::string>& lines) = 0;
  virtual std::vector<std::string> HtmlSource() const = 0;      // Memo1
  virtual void SetHtmlSource(const std::vector<std::string>& lines) = 0;
  virtual std::vector<std::string> PlainText() const = 0;       // Memo2
  virtual void SetPlainText(const std::vector<std::string>& lines) = 0;

  // The radio buttons of the mail type, the auto text box (checked and
  // enabled) and the tabs of the main page control.
  virtual void ShowMailType(int mailType, bool autoText, const TMailPages& pages) = 0;
  virtual void ShowNewsDesign(bool newsDesign) = 0;
  virtual void ShowAttachments(const std::vector<TAttachRec>& rows) = 0;
  virtual void ShowFields(const std::vector<std::string>& names) = 0;

  // Selects pages without starting anything (the window being shown).
  virtual void SelectPages(TMailPage main, TDesignSubPage design, THtmlSubPage html) = 0;
  virtual void FocusSubject() = 0;

  // The one-shot conversion timer (1000 ms).
  virtual void StartTimer() = 0;
  virtual void StopTimer() = 0;
  virtual bool TimerActive() const = 0;
};

} // namespace postello
