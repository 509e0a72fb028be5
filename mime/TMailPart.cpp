#include "mime/TMailPart.h"

#include "mime/Encodings.h"
#include "mime/HeaderLines.h"
#include "mime/TMediaTypeRegister.h"
#include "mime/ZIzorAvarivi2000.h"

namespace postello {

namespace {

std::string LabelPrefix(std::string_view label) { return std::string(label) + ":"; }

std::string Unquote(std::string value) {
  auto isQuote = [](char c) { return c == '"' || c == '\''; };
  if (value.size() > 2 && isQuote(value.front()) && isQuote(value.back()))
    return value.substr(1, value.size() - 2);
  return value;
}

} // namespace

TMailPart::TMailPart(ZIzorAvarivi2000* owner) : OwnerMessage(owner) {}

TMailPart::~TMailPart() = default;

bool TMailPart::HasHeader(std::string_view label) const {
  return FindHeaderLine(Header, LabelPrefix(label)) >= 0;
}

std::string TMailPart::HeaderValue(std::string_view label) const {
  int index = FindHeaderLine(Header, LabelPrefix(label));
  if (index < 0) return {};
  return Unquote(TrimBlanks(HeaderLineValue(Header[static_cast<std::size_t>(index)])));
}

std::string TMailPart::HeaderParam(std::string_view label, std::string_view param) const {
  int index = FindHeaderLine(Header, LabelPrefix(label));
  if (index < 0) return {};
  return Unquote(TrimBlanks(HeaderLineParam(Header[static_cast<std::size_t>(index)], param)));
}

bool TMailPart::HasHeaderParam(std::string_view label, std::string_view param) const {
  return !HeaderParam(label, param).empty();
}

void TMailPart::SetHeaderValue(std::string_view label, std::string_view value) {
  SetHeaderValueAfter(label, value, {});
}

void TMailPart::SetHeaderValueAfter(std::string_view label, std::string_view value, std::string_view after) {
  const std::string prefix = LabelPrefix(label);
  int index = FindHeaderLine(Header, prefix);
  if (value.empty()) {
    if (index >= 0) Header.erase(Header.begin() + index);
    return;
  }
  if (index < 0) {
    int anchor = after.empty() ? -1 : FindHeaderLine(Header, LabelPrefix(after));
    index = anchor < 0 ? static_cast<int>(Header.size()) : anchor + 1;
    Header.insert(Header.begin() + index, std::string(label) + ": ");
  }
  std::string& line = Header[static_cast<std::size_t>(index)];
  line = ReplaceHeaderLineValue(line, HeaderSafe(value));
}

void TMailPart::SetHeaderParam(std::string_view label, std::string_view param, std::string_view value) {
  const std::string prefix = LabelPrefix(label);
  int index = FindHeaderLine(Header, prefix);
  if (index < 0) {
    Header.push_back(std::string(label) + ": ");
    index = static_cast<int>(Header.size()) - 1;
  }
  std::string& line = Header[static_cast<std::size_t>(index)];
  line = ReplaceHeaderLineParam(line, HeaderSafe(param), HeaderSafe(value));
}

std::string TMailPart::MediaType() const { return LowerCaseAscii(HeaderValue("Content-Type")); }

std::string TMailPart::BoundaryParam() const { return HeaderParam("Content-Type", "boundary"); }

std::string TMailPart::AttachmentName() const {
  const bool hasType = HasHeader("Content-Type");
  std::string name;
  if (HasHeader("X-Vezi2000-Attachment"))
    name = HeaderValue("X-Vezi2000-Attachment");
  else if (!HeaderParam("Content-Type", "name").empty())
    name = HeaderParam("Content-Type", "name");
  else if (!HeaderParam("Content-Disposition", "filename").empty())
    name = HeaderParam("Content-Disposition", "filename");
  else if (HasHeader("Content-ID"))
    name = HeaderValue("Content-ID");
  else if (HasHeader("Content-Location"))
    name = HeaderValue("Content-Location");
  else if (hasType)
    name = HeaderValue("Content-Type") + ExtensionForContentType(HeaderValue("Content-Type"));
  else
    name = "unknown";
  name = DecodeHeaderWords(name);
  if (name.find('.') == std::string::npos && hasType)
    name += ExtensionForContentType(HeaderValue("Content-Type"));
  return SafeFileName(name);
}

bool TMailPart::DecodeBody() {
  if (IsDecoded) return true;
  IsDecoded = true;
  if (EncodedBody.empty()) return true;
  DecodedBody.clear();
  const std::string encoding = LowerCaseAscii(HeaderValue("Content-Transfer-Encoding"));
  if (encoding == "quoted-printable") {
    DecodedBody = DecodeQuotedPrintable(EncodedBody);
  } else if (encoding == "base64") {
    int position = 1;
    while (position != -1) DecodedBody += DecodeBase64Text(TrimBlanks(NextLine(EncodedBody, position)));
  } else if (encoding == "uucode" || encoding == "x-uuencode") {
    int position = 1;
    while (position != -1) {
      std::string line = NextLine(EncodedBody, position);
      // The line end is not part of the uuencoded line.
      while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
      DecodedBody += DecodeUULine(line);
    }
    EncodeBody(etBase64);
  } else {
    DecodedBody = EncodedBody;
  }
  return true;
}

void TMailPart::EncodeBody(TEncodingType encoding) {
  switch (encoding) {
  case etBase64:
    EncodeBase64Stream(DecodedBody, EncodedBody);
    SetHeaderValue("Content-Transfer-Encoding", "base64");
    break;
  case etQuotedPrintable:
    EncodedBody.clear();
    SetHeaderValue("Content-Transfer-Encoding", "quoted-printable");
    if (!DecodedBody.empty()) EncodedBody = EncodeQuotedPrintable(DecodedBody, false);
    break;
  case etNoEncoding:
    EncodedBody = DecodedBody;
    SetHeaderValue("Content-Transfer-Encoding", "");
    break;
  }
}

void TMailPart::SetEncodedBody(TEncodingType encoding, std::string encoded) {
  EncodedBody = std::move(encoded);
  switch (encoding) {
  case etBase64: SetHeaderValue("Content-Transfer-Encoding", "base64"); break;
  case etQuotedPrintable: SetHeaderValue("Content-Transfer-Encoding", "quoted-printable"); break;
  case etNoEncoding: SetHeaderValue("Content-Transfer-Encoding", ""); break;
  }
}

void TMailPart::DetachFromParent() {
  if (!ParentPart || this == OwnerMessage) return;
  if (ParentPart->SubParts.Remove(this)) ParentPart = nullptr;
}

namespace {

// A line holding several encoded words may be longer than the 76
// characters RFC 2047 allows such lines. It is folded only at the blank
// between two encoded words, which a reader drops anyway, so every other
// header keeps its bytes.
void AppendFolded(std::string& text, const std::string& line) {
  constexpr std::size_t kMaxLine = 76;
  std::size_t start = 0;  // of the line being written
  std::size_t fold = std::string::npos;  // the last blank it may fold at
  for (std::size_t at = line.find("?= =?"); at != std::string::npos; at = line.find("?= =?", at + 1)) {
    const std::size_t blank = at + 2;
    if (blank - start > kMaxLine && fold != std::string::npos) {
      text.append(line, start, fold - start);
      text += "\r\n";
      start = fold;  // the blank starts the next line
    }
    fold = blank;
  }
  if (line.size() - start > kMaxLine && fold != std::string::npos && fold > start) {
    text.append(line, start, fold - start);
    text += "\r\n";
    start = fold;
  }
  text.append(line, start, std::string::npos);
  text += "\r\n";
}

} // namespace

std::size_t TMailPart::HeaderTextLength() const { return HeaderText().size(); }

std::string TMailPart::HeaderText() const {
  std::string text;
  for (const std::string& line : Header) AppendFolded(text, line);
  return text;
}

} // namespace postello
