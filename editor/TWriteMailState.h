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

#include <cstdint>
#include <string>
#include <vector>

namespace postello {

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
  // The close question. On Yes a conversion still pending is carried out
  // first, so the commit takes the state of the last keystroke.
  TMsgResult CloseQuery();
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

  TWriteMailView& m_view;
  // What an opened mail stored, and the document as the window showed it
  // right after loading: while the window still shows that document the
  // commit keeps the stored bytes instead of writing them anew.
  std::string m_loadedRtf;
  TDesignDocument m_loadedDocument;
  bool m_hasLoadedRtf = false;
};

} // namespace postello
