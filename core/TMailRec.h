#pragma once
// One stored mail and its attachments.
#include "core/TDynaArray.h"

#include <cstdint>
#include <string>

namespace postello {

// One attached or embedded file. ContentId is empty for an ordinary
// attachment; an embedded file (a picture referenced from the HTML as
// "cid:" + ContentId) carries its file name without folder, upper-cased.
struct TAttachRec {
  std::string FileName;
  std::string ContentId;
};

// Font style bits of the newsletter heading and footer.
enum : std::uint8_t { fsBold = 1, fsItalic = 2, fsUnderline = 4, fsStrikeOut = 8 };

// The fields of a stored mail. Texts are Windows-1252; DesignRtf holds the
// design document's RTF bytes (empty: none). Colours are 0x00BBGGRR, or a
// system colour constant with high byte 0x80.
struct TMailRecFields {
  std::string Subject;
  std::string DesignRtf;
  std::uint32_t DesignColor = 0;
  std::string DesignHtml;
  std::string HtmlText;
  std::string PlainText;
  TDynaArray<TAttachRec> Attachments;
  TAttachRec* CurAttach = nullptr;
  double Date = 0;              // days since 30.12.1899; 0 = no date
  // The date text as mails.dat held it when it gave no date (unreadable,
  // or day zero); saved back unchanged while Date stays 0, because the
  // older program cannot load a mail whose date text is empty.
  std::string DateText;
  std::uint8_t MailType = 0;    // 0 design, 1 HTML, 2 text
  bool AutoText = false;
  bool NewsDesign = false;
  std::uint32_t NewsBackColor = 0;
  std::uint32_t NewsHeadBackColor = 0;
  std::uint32_t NewsFootBackColor = 0;
  std::uint32_t NewsBorderColor = 0;
  std::int32_t NewsHeadFontSize = 0;
  std::int32_t NewsFootFontSize = 0;
  std::uint32_t NewsHeadFontColor = 0;
  std::uint32_t NewsFootFontColor = 0;
  std::string NewsHeadFontName;
  std::string NewsFootFontName;
  std::uint8_t NewsHeadFontStyle = 0;
  std::uint8_t NewsFootFontStyle = 0;
  std::int32_t NewsWidth = 0;
  std::int32_t NewsMinHeight = 0;
  std::string NewsHeadText;
  std::string NewsFootText;
  // Kept in mailoptionen.dat beside mails.dat (TMailOptionsStore), so
  // that mails.dat keeps the bytes the older program reads.
  // Comma-separated "mailto:" and "https:" targets for List-Unsubscribe,
  // placeholders allowed; empty: no such header.
  std::string Unsubscribe;
  // Personalised runs merge the subject per recipient.
  bool MergeSubject = false;
  // Batch messages name no recipient; with this on they carry the empty
  // group "To: undisclosed-recipients:;", since spam filters score a
  // message without To header.
  bool BccToLine = true;
  // The mail's lasting identity: given when the mail is first sent, kept
  // in mailkennungen.dat (TMailIdStore), unchanged by saving, reordering
  // or deleting mails; the send journal finds the mail's runs by it.
  // Empty until then.
  std::string Id;
  // The date text (as the journal writes it) the mail had when it got its
  // identity by being saved: runs of older versions, which recorded no
  // identity, name the mail by that date. Empty when the mail got its
  // identity by being sent.
  std::string FirstDate;
};

// A mail record owns its attachment array, whose cursor variable is the
// record's own CurAttach. Copying or moving a record rebinds that cursor
// to the new record, so the array may move records around freely.
struct TMailRec : TMailRecFields {
  TMailRec() { Rebind(); }
  TMailRec(const TMailRec& other) : TMailRecFields(other) { Rebind(); }
  TMailRec(TMailRec&& other) noexcept : TMailRecFields(std::move(other)) { Rebind(); }
  TMailRec& operator=(const TMailRec& other) {
    TMailRecFields::operator=(other);
    Rebind();
    return *this;
  }
  TMailRec& operator=(TMailRec&& other) noexcept {
    TMailRecFields::operator=(std::move(other));
    Rebind();
    return *this;
  }

  std::int32_t DesignRtfSize() const { return static_cast<std::int32_t>(DesignRtf.size()); }

private:
  void Rebind() {
    Attachments.SetCurrentVar(&CurAttach);
    CurAttach = Attachments.Current();
  }
};

} // namespace postello
