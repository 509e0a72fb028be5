#pragma once
#include "mime/TMailPartList.h"

#include <string>
#include <string_view>
#include <vector>

namespace postello {

class ZIzorAvarivi2000;

enum TEncodingType { etBase64 = 0, etQuotedPrintable = 1, etNoEncoding = 2 };
enum TEmbedMethod { emContentID = 0, emContentLocation = 1 };

// One MIME part: its header lines and its body in two forms.
//
// `Header` holds whole header lines without line ends, in the order they
// were first set; lines are never folded and a label occurs at most once
// among the lines the program writes. `DecodedBody` is the content,
// `EncodedBody` the same after transfer encoding, as it stands in the
// message text (for a composed message: the whole multipart body).
// `IsDecoded` records that `DecodedBody` was produced from `EncodedBody`.
//
// A placed part sits in its parent's `SubParts` and carries the parent's
// boundary in `ParentBoundary`. Parts belong to their message
// (`OwnerMessage`), which creates and destroys them; `SubParts` and the
// message's role fields only refer to them. Every value written into a line
// has its CR and LF replaced by blanks first, so no value can add a line.
class TMailPart {
public:
  explicit TMailPart(ZIzorAvarivi2000* owner = nullptr);
  virtual ~TMailPart();
  TMailPart(const TMailPart&) = delete;
  TMailPart& operator=(const TMailPart&) = delete;

  std::vector<std::string> Header;
  std::string EncodedBody;
  std::string DecodedBody;
  std::string ParentBoundary;
  ZIzorAvarivi2000* OwnerMessage = nullptr;
  TMailPartList SubParts;
  TMailPart* ParentPart = nullptr;
  bool IsDecoded = false;
  bool IsEmbedded = false;

  // Header primitives. Labels are header names without the colon and
  // compare without regard to case.
  bool HasHeader(std::string_view label) const;
  // Value of the first line with the label, trimmed and unquoted; empty
  // when missing.
  std::string HeaderValue(std::string_view label) const;
  std::string HeaderParam(std::string_view label, std::string_view param) const;
  bool HasHeaderParam(std::string_view label, std::string_view param) const;
  // A non-empty value replaces the value of the first line with the label
  // (parameters stay) or appends a new line; an empty value deletes the
  // first line with the label.
  void SetHeaderValue(std::string_view label, std::string_view value);
  // Like SetHeaderValue, but a new line goes directly after the first line
  // labelled `after` (at the end when there is none). An existing line keeps
  // its place.
  void SetHeaderValueAfter(std::string_view label, std::string_view value, std::string_view after);
  void SetHeaderParam(std::string_view label, std::string_view param, std::string_view value);

  // Content-Type value in lower case.
  std::string MediaType() const;
  // The boundary parameter of the part's own Content-Type.
  std::string BoundaryParam() const;
  // A safe file name for the part, from its naming headers or its type.
  std::string AttachmentName() const;

  // Fills DecodedBody from EncodedBody by Content-Transfer-Encoding, once.
  bool DecodeBody();
  // Fills EncodedBody from DecodedBody and sets Content-Transfer-Encoding.
  void EncodeBody(TEncodingType encoding);
  // Takes a body already encoded with `encoding` from DecodedBody elsewhere
  // (an attachment read and encoded once for many messages); sets the same
  // header EncodeBody would.
  void SetEncodedBody(TEncodingType encoding, std::string encoded);
  // Leaves the parent's SubParts (never for the message itself).
  void DetachFromParent();

  // The header lines, each followed by CR LF.
  std::string HeaderText() const;
  std::size_t HeaderTextLength() const;
};

} // namespace postello
