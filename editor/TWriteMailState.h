#pragma once
// The mail editor window's state and decisions, without any toolkit.
//
// The window (a TWriteMailView) holds what the user types: the subject, the
// formatted document and the three memos. This object holds the rest of
// one mail being written (mail type, auto text, design choice and
// settings, background colour, attachment rows, the field names), the three
// guards, and the stored RTF of an opened mail. It decides which pages show,
// when the derived forms are rebuilt, what the close question answers, and
// how the whole is moved into and out of a TMailRec. The window forwards
// every user event to the matching method and does nothing else on it.
#include "core/TMailRec.h"
#include "core/TMessageSink.h"
#include "editor/TDesignDocument.h"
#include "editor/TNewsDesign.h"
#include "editor/TWriteMailView.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace postello {

// Where "Datenfeld einfügen" and the picture buttons put their text: the
// editable text of the visible page, or nothing.
enum TInsertTarget { itNone, itDocument, itHtmlSource, itPlainText };

class TWriteMailState {
public:
  explicit TWriteMailState(TWriteMailView& view) : m_view(view) {}
  TWriteMailState(const TWriteMailState&) = delete;
  TWriteMailState& operator=(const TWriteMailState&) = delete;

  // Sets a guard for the lifetime of the object and restores its previous
  // value afterwards, so guards may nest.
  class TGuard {
  public:
    explicit TGuard(bool& flag) : m_flag(flag), m_old(flag) { m_flag = true; }
    ~TGuard() { m_flag = m_old; }
    TGuard(const TGuard&) = delete;
    TGuard& operator=(const TGuard&) = delete;

  private:
    bool& m_flag;
    bool m_old;
  };

  // While set, a change of the HTML source or of the generated HTML
  // derives no plain text.
  bool LoadingGuard = false;
  // Set while the toolbar follows the text attributes; formatting
  // commands do nothing then.
  bool SyncGuard = false;
  // Set while the document is converted; selection changes are ignored.
  bool ConversionGuard = false;

  std::uint8_t MailType = 0;          // 0 design, 1 HTML, 2 text
  bool AutoText = true;
  bool NewsDesign = true;             // newsletter frame around the design HTML
  TNewsDesign Design;                 // the frame's settings
  std::uint32_t DesignColor = 0xFFFFFF;
  std::vector<TAttachRec> Attachments;
  std::vector<std::string> Fields;    // names offered for placeholders

  // Pages and auto text box for a mail type and the auto text state.
  static TMailPages PagesFor(int mailType, bool autoText);
  // The main page the window opens on.
  static TMailPage StartPage(int mailType);

  // Resets everything for a new mail; the design choice and settings stay.
  void NewMail(const std::vector<std::string>& fieldNames);
  // Loads a stored mail. A DesignRtf that cannot be read fully gives the
  // part that could be read and a message naming the mail; the stored
  // bytes are kept until the user changes the document.
  void Load(const TMailRecFields& mail, const std::vector<std::string>& fieldNames);
  // The window is being shown: focus, start pages, page visibility.
  void FormShow();
  // The close question, asked only when the user changed the mail since it
  // was opened or last saved; otherwise No without asking. On Yes a
  // conversion still pending is carried out first, so the commit takes the
  // state of the last keystroke.
  TMsgResult CloseQuery();
  // True when something the user can change differs from the mail as it
  // was opened or last saved. What the window derives by itself (the
  // generated HTML, the automatic plain text) does not count.
  bool Changed() const;
  // The mail was stored as it is now (saved without closing): from now on
  // only a further change counts.
  void Saved();
  // Writes the window's content into mail (every field of the transfer),
  // with Date = now.
  void Commit(TMailRecFields& mail, double now);

  // User events, forwarded by the window.
  void DocumentChanged();
  void TimerFired();
  void BackColorChosen(std::uint32_t color);
  void DesignDialogClosed();
  void DesignSubPageChanged(TDesignSubPage page);
  void MainPageChanged();
  void HtmlChanged();                 // HTML source or generated HTML
  void MailTypClick(int mailType);
  void AutoCreateClick(bool on);
  void NewsDesignClick(bool newsDesign);
  // "Zurück...": the plain text is brought up to date; the window then
  // closes (and asks the close question).
  void SpeedButton1Click();

  // The editing commands. Each works on the rows and texts held here and
  // in the view; the window asks its file questions first and hands in
  // the answers.

  // The text that receives insertions while these pages are visible.
  static TInsertTarget InsertTarget(TMailPage main, TDesignSubPage design, THtmlSubPage html);
  // The same for a picture tag: never the plain text.
  static TInsertTarget PictureTarget(TMailPage main, TDesignSubPage design, THtmlSubPage html);
  // "[%" + field name + "]", as the field merge resolves it.
  static std::string Placeholder(const std::string& fieldName);
  // The picture tag inserted for an embedded part.
  static std::string PictureTag(const std::string& contentId);

  // "Dateien anhängen...": one row per path (file-system paths, in the
  // dialog's order), each followed by the question whether to embed it;
  // Yes gives the row the file's content id.
  void AttachBtnClick(const std::vector<std::string>& paths);
  // "Markierte Anhänge löschen": removes the rows at these indices (any
  // order, duplicates and indices beyond the end ignored), from the last
  // to the first.
  void DelAttachBtnClick(const std::vector<std::size_t>& selected);
  void DelAllAttachBtnClick();
  // A picture button: adds the embedded row of path and returns the tag
  // to insert at the caret (which the window inserts only where a target
  // is visible).
  std::string PicBtnClick(const std::string& path);
  // "RTF-Import...": replaces the document by the file's. A file that
  // cannot be read fully is reported and leaves the document as it was;
  // false then.
  bool ImportBtnClick(const std::string& path);
  // "HTML-Import...": the file's lines, pictures rewritten to their parts,
  // become the HTML source; the new rows follow those already there; then
  // the plain text is derived. progress gets the percentage per line; it
  // is set back to 0 at the end. A file that cannot be read is reported
  // and changes nothing; false then.
  bool HTMLImportClick(const std::string& path, const std::function<void(int)>& progress);
  // "Quelltext als reines HTML bearbeiten...": the generated HTML becomes
  // the HTML source and the mail an HTML mail, as a click on its button.
  void EditBtnClick();
  // The preview of the HTML with its embedded parts (rows) in place of
  // their "cid:" references, written to mail~.htm in progDir. Returns the
  // file's path, or empty after reporting a failure (file name and
  // reason).
  std::string WritePreview(const std::vector<std::string>& html, const std::string& progDir);

  // The derivations.
  void RTFToHTML();
  void HTMLToText();
  // Page visibility and the auto text box after a type or auto text change.
  void ApplyMailType();

  // The design document as the commit would store it, with DesignColor as
  // its background.
  TDesignDocument CurrentDocument() const;

private:
  void ShowAll();

  // Everything the user can change, as Changed() compares it.
  struct TUserContent {
    std::string Subject, Unsubscribe;
    bool MergeSubject = false;
    bool BccToLine = true;
    TDesignDocument Document;   // normalised, so a new cut into runs counts for nothing
    std::vector<std::string> HtmlSource;
    std::vector<std::string> PlainText;  // empty while derived from the HTML
    std::uint8_t MailType = 0;
    bool AutoText = true;
    bool NewsDesign = true;
    TNewsDesign Design;
    std::uint32_t DesignColor = 0;
    std::vector<std::pair<std::string, std::string>> Attachments;
    bool operator==(const TUserContent&) const = default;
  };
  TUserContent UserContent() const;
  TUserContent m_unchanged;

  TWriteMailView& m_view;
  // What an opened mail stored, and the document as the window showed it
  // right after loading: while the window still shows that document the
  // commit keeps the stored bytes instead of writing them anew.
  std::string m_loadedRtf;
  TDesignDocument m_loadedDocument;
  bool m_hasLoadedRtf = false;
};

} // namespace postello
