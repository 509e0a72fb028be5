#pragma once
#include "mime/DateHeader.h"
#include "mime/TMailPart.h"
#include "mime/TMailPartList.h"
#include "mime/TMailRecipients.h"

#include <istream>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace postello {

// The bytes of one attachment file, read and transfer-encoded once so that
// a send run can hand the same file to many messages without encoding it
// again for each. Adding it gives exactly the bytes AddAttachmentFile gives.
struct TAttachmentBytes {
  std::string Decoded;                  // the file's contents
  TEncodingType Encoding = etBase64;    // how Encoded was made
  std::string Encoded;                  // Decoded after that transfer encoding
};

// The outgoing message: itself a part (its header lines are the message's
// top-level header, its EncodedBody the body once composed) plus the state
// that builds the MIME tree.
//
// The message owns every part created for it; `SubParts`, `AttachList` and
// the role fields only refer to them. Roles: `PlainPart` and `HtmlPart` are
// the two text parts, `MixedPart`, `RelatedPart` and `AlternativePart` the
// multipart containers; each is empty, the message itself, or a part in the
// tree under the message. `TextContainer` is the innermost container that
// receives text parts. The structure is rebuilt on every text or attachment
// added (ArrangeParts): the message becomes the outermost container, inner
// containers are made fresh with fresh boundaries, and existing parts move.
//
// One object serves message after message: ClearMessage empties it.
class ZIzorAvarivi2000 : public TMailPart {
public:
  ZIzorAvarivi2000();
  ~ZIzorAvarivi2000() override;

  TMailPartList AttachList;
  std::vector<std::string> PlainLines;
  std::vector<std::string> HtmlLines;
  TMailPart* PlainPart = nullptr;
  TMailPart* HtmlPart = nullptr;
  TMailPart* MixedPart = nullptr;
  TMailPart* RelatedPart = nullptr;
  TMailPart* AlternativePart = nullptr;
  TMailPart* TextContainer = nullptr;
  // The label of texts in Latin-1; see TextCharset.
  std::string Charset = "iso-8859-1";
  int UnnamedCount = 0;
  TMailRecipients ToRecipients;
  TMailRecipients CcRecipients;
  TMailRecipients BccRecipients;
  TEncodingType TextEncoding = etQuotedPrintable;
  TEncodingType AttachEncoding = etBase64;
  TEmbedMethod EmbedMethod = emContentLocation;
  std::string ContentLocationBase = "http://127.0.0.1/";
  bool BodyChanged = false;

  // The settings every message of the program is built with: base64 for
  // texts and attachments, inline pictures named by Content-ID.
  void ApplyFormSettings();

  // The character set a text part or header word holding `text` declares:
  // Charset, except that an "iso-8859-1" Charset becomes "windows-1252" for
  // a text that holds Windows-1252 characters Latin-1 lacks.
  std::string TextCharset(std::string_view text) const;

  void ClearMessage();
  // From / Reply-To: "name" <address>, the name as an encoded word when it
  // needs one; without address the header is removed.
  void SetSender(std::string_view name, std::string_view address);
  void SetReplyAddress(std::string_view name, std::string_view address);
  // Empty subject removes the header.
  void SetSubjectLine(std::string_view subject);
  void SetSendDate(const TMailDateTime& local);
  // Texts must not be empty; an empty text is taken as a single blank.
  void SetPlainBody(std::string_view text);
  void SetHtmlBody(std::string_view text);
  // Reads the whole file; throws EFOpenError (message unchanged) when it
  // cannot be read. An empty content type is found from the extension.
  void AddAttachmentFile(const std::string& path, std::string_view contentType, bool embedded);
  void AddAttachmentStream(std::istream& stream, const std::string& path, std::string_view contentType,
                           bool embedded);
  void AddAttachmentStream(std::string_view bytes, const std::string& path, std::string_view contentType,
                           bool embedded);
  // Adds an attachment whose bytes were read (and encoded) before; encoded
  // bytes made with another encoding than AttachEncoding are encoded anew.
  void AddAttachmentBytes(const TAttachmentBytes& bytes, const std::string& path,
                          std::string_view contentType, bool embedded);
  // Reads a file for AddAttachmentBytes, encoding it with `encoding`.
  static TAttachmentBytes ReadAttachmentBytes(const std::string& path, TEncodingType encoding = etBase64);

  // Renders the part tree into EncodedBody and sets Content-Length; does
  // nothing when nothing changed since the last call.
  void ComposeBody();

  // The message text: header lines, an empty line, the body.
  std::string MessageText() const;

  // What a rebuild is for.
  enum TArrangeFor { afNothing, afText, afAttachment, afEmbedded };
  // Puts a text into the slot PlainPart or HtmlPart.
  void SetTextBody(std::string_view text, TMailPart*& slot, std::string_view mediaType);
  void ArrangeParts(TArrangeFor adding);

  // Creates a part owned by the message.
  TMailPart* CreatePart();
  // Destroys a part and, first, its sub-parts; it leaves every list and
  // role that refers to it.
  void DestroyPart(TMailPart* part);
  int OwnedPartCount() const { return static_cast<int>(FOwnedParts.size()); }

private:
  void SetAddressHeader(std::string_view label, std::string_view name, std::string_view address);
  TMailPart* NewContainer(TMailPart* parent, std::string_view mediaType, std::string_view kind);
  void PlaceTextPart(TMailPart*& role, std::string_view mediaType);
  void PlaceAttachment(TMailPart* part, TMailPart* mixed, TMailPart* related);
  void AddAttachmentPart(std::string decoded, const std::string* encoded, TEncodingType encodedWith,
                         const std::string& path, std::string_view contentType, bool embedded);
  void RenderSubParts(const TMailPart& part, std::string& out) const;

  std::vector<std::unique_ptr<TMailPart>> FOwnedParts;
};

// The error of a file that cannot be opened for reading.
class EFOpenError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

} // namespace postello
