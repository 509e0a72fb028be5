#include "mime/ZIzorAvarivi2000.h"

#include "core/QuotedContent.h"

#include "mime/Encodings.h"
#include "mime/HeaderLines.h"
#include "mime/MakeBoundary.h"
#include "mime/TMediaTypeRegister.h"

#include "core/SystemErrorText.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

namespace postello {

namespace {

constexpr char kMailer[] = "Duver Erevuv http://www.postello.example/";
constexpr char kPreamble[] = "This is a multipart message in mime format.\r\n";

std::string FileNameOf(const std::string& path) {
  std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Every lone CR and every lone LF becomes CR LF.
std::string CrLfLineEnds(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 32 + 2);
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r') {
      out += "\r\n";
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else if (c == '\n') {
      out += "\r\n";
    } else {
      out += c;
    }
  }
  return out;
}

// Lines of a text whose line ends are CR LF; a final line end starts no
// further line.
std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find("\r\n", start);
    if (end == std::string::npos) {
      lines.push_back(text.substr(start));
      break;
    }
    lines.push_back(text.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}

std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw EFOpenError("Die Datei \"" + QuotedContent(path) + "\" kann nicht ge\xF6" "ffnet werden: " + SystemErrorText(errno) + ".");
  std::ostringstream bytes;
  bytes << in.rdbuf();
  if (in.bad())
    throw EFOpenError("Die Datei \"" + QuotedContent(path) + "\" kann nicht gelesen werden: " +
                      SystemErrorText(errno ? errno : EIO) + ".");
  return std::move(bytes).str();
}

std::string Quoted(const std::string& value) { return "\"" + value + "\""; }

} // namespace

ZIzorAvarivi2000::ZIzorAvarivi2000()
    : TMailPart(this), ToRecipients(this, "To"), CcRecipients(this, "Cc"), BccRecipients(this, "Bcc") {}

ZIzorAvarivi2000::~ZIzorAvarivi2000() = default;

void ZIzorAvarivi2000::ApplyFormSettings() {
  Charset = "iso-8859-1";
  TextEncoding = etBase64;
  AttachEncoding = etBase64;
  EmbedMethod = emContentID;
}

std::string ZIzorAvarivi2000::TextCharset(std::string_view text) const {
  if (SameTextAscii(Charset, "iso-8859-1")) return std::string(Cp1252TextCharset(text));
  return Charset;
}

TMailPart* ZIzorAvarivi2000::CreatePart() {
  FOwnedParts.push_back(std::make_unique<TMailPart>(this));
  return FOwnedParts.back().get();
}

void ZIzorAvarivi2000::DestroyPart(TMailPart* part) {
  if (!part || part == this) return;
  while (!part->SubParts.Empty()) {
    TMailPart* child = part->SubParts[part->SubParts.Count() - 1];
    part->SubParts.Delete(part->SubParts.Count() - 1);
    child->ParentPart = nullptr;
    DestroyPart(child);
  }
  if (part->ParentPart) part->ParentPart->SubParts.Remove(part);
  while (AttachList.Remove(part)) {
  }
  for (TMailPart** role : {&PlainPart, &HtmlPart, &MixedPart, &RelatedPart, &AlternativePart, &TextContainer})
    if (*role == part) *role = nullptr;
  for (auto it = FOwnedParts.begin(); it != FOwnedParts.end(); ++it) {
    if (it->get() == part) {
      FOwnedParts.erase(it);
      break;
    }
  }
}

void ZIzorAvarivi2000::ClearMessage() {
  SubParts.Clear();
  AttachList.Clear();
  FOwnedParts.clear();
  Header.clear();
  EncodedBody.clear();
  DecodedBody.clear();
  ParentBoundary.clear();
  IsDecoded = false;
  IsEmbedded = false;
  PlainLines.clear();
  HtmlLines.clear();
  PlainPart = HtmlPart = MixedPart = RelatedPart = AlternativePart = nullptr;
  TextContainer = nullptr;
  BodyChanged = false;
  UnnamedCount = 0;
}

void ZIzorAvarivi2000::SetAddressHeader(std::string_view label, std::string_view name, std::string_view address) {
  if (address.empty()) {
    SetHeaderValue(label, "");
  } else if (name.empty()) {
    SetHeaderValue(label, "<" + std::string(address) + ">");
  } else {
    SetHeaderValue(label, Quoted(EncodeHeaderWord(name, TextCharset(name))) + " <" + std::string(address) + ">");
  }
}

void ZIzorAvarivi2000::SetSender(std::string_view name, std::string_view address) {
  SetAddressHeader("From", name, address);
}

void ZIzorAvarivi2000::SetReplyAddress(std::string_view name, std::string_view address) {
  SetAddressHeader("Reply-To", name, address);
}

void ZIzorAvarivi2000::SetSubjectLine(std::string_view subject) {
  SetHeaderValue("Subject", EncodeHeaderWord(subject, TextCharset(subject)));
}

void ZIzorAvarivi2000::SetSendDate(const TMailDateTime& local) { SetHeaderValue("Date", FormatMailDate(local)); }

void ZIzorAvarivi2000::SetPlainBody(std::string_view text) {
  SetTextBody(text, PlainPart, "text/plain");
  PlainLines = SplitLines(PlainPart->DecodedBody);
}

void ZIzorAvarivi2000::SetHtmlBody(std::string_view text) {
  SetTextBody(text, HtmlPart, "text/html");
  HtmlLines = SplitLines(HtmlPart->DecodedBody);
}

void ZIzorAvarivi2000::SetTextBody(std::string_view text, TMailPart*& slot, std::string_view mediaType) {
  // An empty text would leave the message holding a text role without a
  // body, and the next rebuild would place the message under itself.
  if (text.empty()) text = " ";
  if (!slot) ArrangeParts(afText);
  std::string body = CrLfLineEnds(text);

  if (!slot) {
    if (TextContainer) {
      TMailPart* part = CreatePart();
      part->ParentPart = TextContainer;
      part->ParentBoundary = TextContainer->BoundaryParam();
      TMailPartList& siblings = TextContainer->SubParts;
      if (mediaType == "text/plain")
        siblings.Insert(0, part);
      else if (mediaType == "text/html")
        siblings.Insert(!siblings.Empty() && siblings.First()->MediaType() == "text/plain" ? 1 : 0, part);
      else
        siblings.Add(part);
      slot = part;
    } else {
      slot = this;
    }
  }

  slot->DecodedBody = std::move(body);
  slot->SetHeaderValue("Content-Type", mediaType);
  slot->EncodeBody(TextEncoding);
  slot->SetHeaderParam("Content-Type", "charset", Quoted(TextCharset(slot->DecodedBody)));
  slot->SetHeaderValue("Content-Disposition", "inline");
  slot->SetHeaderValue("Content-Length", std::to_string(slot->EncodedBody.size()));
  BodyChanged = true;
}

TAttachmentBytes ZIzorAvarivi2000::ReadAttachmentBytes(const std::string& path, TEncodingType encoding) {
  TAttachmentBytes bytes;
  bytes.Decoded = ReadWholeFile(path);
  bytes.Encoding = encoding;
  TMailPart scratch;
  scratch.DecodedBody = bytes.Decoded;
  scratch.EncodeBody(encoding);
  bytes.Encoded = std::move(scratch.EncodedBody);
  return bytes;
}

void ZIzorAvarivi2000::AddAttachmentFile(const std::string& path, std::string_view contentType, bool embedded) {
  std::string bytes = ReadWholeFile(path);
  AddAttachmentPart(std::move(bytes), nullptr, etBase64, path, contentType, embedded);
}

void ZIzorAvarivi2000::AddAttachmentStream(std::istream& stream, const std::string& path,
                                           std::string_view contentType, bool embedded) {
  stream.clear();
  stream.seekg(0, std::ios::beg);
  std::ostringstream bytes;
  bytes << stream.rdbuf();
  AddAttachmentPart(std::move(bytes).str(), nullptr, etBase64, path, contentType, embedded);
}

void ZIzorAvarivi2000::AddAttachmentStream(std::string_view bytes, const std::string& path,
                                           std::string_view contentType, bool embedded) {
  AddAttachmentPart(std::string(bytes), nullptr, etBase64, path, contentType, embedded);
}

void ZIzorAvarivi2000::AddAttachmentBytes(const TAttachmentBytes& bytes, const std::string& path,
                                          std::string_view contentType, bool embedded) {
  AddAttachmentPart(bytes.Decoded, &bytes.Encoded, bytes.Encoding, path, contentType, embedded);
}

void ZIzorAvarivi2000::AddAttachmentPart(std::string decoded, const std::string* encoded,
                                         TEncodingType encodedWith, const std::string& path,
                                         std::string_view contentType, bool embedded) {
  ArrangeParts(embedded ? afEmbedded : afAttachment);
  TMailPart* container = embedded ? RelatedPart : MixedPart;
  TMailPart* part = this;
  if (container) {
    part = CreatePart();
    part->ParentPart = container;
    part->ParentBoundary = container->BoundaryParam();
    container->SubParts.Add(part);
  }
  const std::string fileName = FileNameOf(path);
  part->DecodedBody = std::move(decoded);
  part->SetHeaderValue("Content-Type", contentType.empty() ? ContentTypeForFile(fileName) : std::string(contentType));
  if (encoded && encodedWith == AttachEncoding)
    part->SetEncodedBody(AttachEncoding, *encoded);
  else
    part->EncodeBody(AttachEncoding);
  const std::string quotedName = Quoted(EncodeHeaderWord(fileName, TextCharset(fileName)));
  part->SetHeaderValue("X-Vezi2000-Attachment", quotedName);
  part->SetHeaderValue("Content-Length", std::to_string(part->EncodedBody.size()));
  part->IsEmbedded = embedded;
  if (embedded) {
    part->SetHeaderValue("Content-Disposition", "inline");
    part->SetHeaderParam("X-Vezi2000-Attachment", "embedded", "yes");
    if (EmbedMethod == emContentID)
      part->SetHeaderValue("Content-ID", "<" + UpperCaseAscii(fileName) + ">");
    else
      part->SetHeaderValue("Content-Location", ContentLocationBase + fileName);
  } else {
    part->SetHeaderValue("Content-Disposition", "attachment");
    part->SetHeaderParam("Content-Type", "name", quotedName);
    part->SetHeaderParam("Content-Disposition", "filename", quotedName);
    part->SetHeaderParam("X-Vezi2000-Attachment", "embedded", "no");
  }
  AttachList.Add(part);
  BodyChanged = true;
}

TMailPart* ZIzorAvarivi2000::NewContainer(TMailPart* parent, std::string_view mediaType, std::string_view kind) {
  TMailPart* container = this;
  if (parent) {
    container = CreatePart();
    container->ParentPart = parent;
    container->ParentBoundary = parent->BoundaryParam();
    parent->SubParts.Add(container);
  }
  container->SetHeaderValue("Content-Type", mediaType);
  container->SetHeaderParam("Content-Type", "boundary", Quoted(MakeBoundary() + std::string(kind)));
  return container;
}

void ZIzorAvarivi2000::ArrangeParts(TArrangeFor adding) {
  if (adding == afNothing) return;
  BodyChanged = true;
  UnnamedCount = 0;
  int texts = (PlainPart ? 1 : 0) + (HtmlPart ? 1 : 0) + (adding == afText ? 1 : 0);
  int attachments = adding == afAttachment ? 1 : 0;
  int pictures = adding == afEmbedded ? 1 : 0;
  for (TMailPart* part : AttachList) ++(part->IsEmbedded ? pictures : attachments);

  // The message may itself have been a text or attachment part, or a
  // container: its body and content header move into a part of their own.
  if (!EncodedBody.empty()) {
    TMailPart* copy = CreatePart();
    copy->EncodedBody = EncodedBody;
    for (const std::string& line : Header)
      if (line.size() >= 8 && SameTextAscii(std::string_view(line).substr(0, 8), "Content-"))
        copy->Header.push_back(line);
    bool taken = false;
    for (TMailPart** role : {&PlainPart, &HtmlPart, &MixedPart, &RelatedPart, &AlternativePart}) {
      if (*role == this) {
        *role = copy;
        taken = true;
        break;
      }
    }
    if (!taken) {
      if (!SubParts.Empty())
        DestroyPart(copy);
      else
        AttachList.Add(copy);
    }
  }
  AttachList.Remove(this);

  for (const char* label : {"Content-Type", "Content-Transfer-Encoding", "Content-Disposition", "Content-ID",
                            "Content-Location", "Content-Length"})
    SetHeaderValue(label, "");
  SetHeaderValue("Mime-Version", "1.0");
  SetHeaderValue("X-Mailer", kMailer);
  SetHeaderValue("X-Vezi2000-Attachment", "");

  TMailPart* oldMixed = MixedPart;
  TMailPart* oldRelated = RelatedPart;
  TMailPart* oldAlternative = AlternativePart;
  TMailPart* newMixed = nullptr;
  TMailPart* newRelated = nullptr;
  TMailPart* newAlternative = nullptr;
  TextContainer = nullptr;

  if (attachments >= 2 || (attachments >= 1 && texts >= 1) || (attachments >= 1 && pictures >= 1)) {
    newMixed = NewContainer(nullptr, "multipart/mixed", "_mixed");
    TextContainer = newMixed;
  }
  if (pictures >= 1) {
    newRelated = NewContainer(newMixed, "multipart/related", "_related");
    TextContainer = newRelated;
  }
  if (texts >= 2) {
    newAlternative = NewContainer(TextContainer, "multipart/alternative", "_alternative");
    TextContainer = newAlternative;
  }

  if (PlainPart) PlaceTextPart(PlainPart, "text/plain");
  if (HtmlPart) PlaceTextPart(HtmlPart, "text/html");

  const std::vector<TMailPart*> attached(AttachList.begin(), AttachList.end());
  for (TMailPart* part : attached) PlaceAttachment(part, newMixed, newRelated);

  for (TMailPart* old : {oldAlternative, oldRelated, oldMixed}) {
    if (old && old != this) {
      old->DetachFromParent();
      DestroyPart(old);
    }
  }
  MixedPart = newMixed;
  RelatedPart = newRelated;
  AlternativePart = newAlternative;
}

void ZIzorAvarivi2000::PlaceTextPart(TMailPart*& role, std::string_view mediaType) {
  TMailPart* part = role;
  if (part == this) return; // already in place as the single part
  part->DetachFromParent();
  if (TextContainer) {
    part->ParentPart = TextContainer;
    part->ParentBoundary = TextContainer->BoundaryParam();
    part->SetHeaderValue("Content-Type", mediaType);
    part->SetHeaderValue("Content-Disposition", "inline");
    part->DecodeBody();
    part->EncodeBody(TextEncoding);
    part->SetHeaderValue("Content-Length", std::to_string(part->EncodedBody.size()));
    part->SubParts.Clear();
    TextContainer->SubParts.Add(part);
  } else {
    SetHeaderValue("Content-Type", mediaType);
    SetHeaderValue("Content-Disposition", "inline");
    part->DecodeBody();
    DecodedBody = part->DecodedBody;
    EncodeBody(TextEncoding);
    SetHeaderParam("Content-Type", "charset", Quoted(TextCharset(DecodedBody)));
    SetHeaderValue("Content-Length", std::to_string(EncodedBody.size()));
    DestroyPart(part);
    role = this;
  }
}

void ZIzorAvarivi2000::PlaceAttachment(TMailPart* part, TMailPart* mixed, TMailPart* related) {
  part->DetachFromParent();
  if (!part->HasHeader("Content-Type")) part->SetHeaderValue("Content-Type", "application/octet-stream");
  std::string name = part->AttachmentName();
  if (name.empty()) {
    name = "file_" + std::to_string(UnnamedCount) + ExtensionForContentType(part->HeaderValue("Content-Type"));
    ++UnnamedCount;
  }
  const std::string quotedName = Quoted(EncodeHeaderWord(name, TextCharset(name)));
  part->SetHeaderValue("X-Vezi2000-Attachment", quotedName);

  if (part->IsEmbedded) {
    part->SetHeaderParam("X-Vezi2000-Attachment", "embedded", "yes");
    if (EmbedMethod == emContentID) {
      if (part->HeaderValue("Content-ID").empty()) part->SetHeaderValue("Content-ID", "<" + name + ">");
    } else {
      part->SetHeaderValue("Content-Location", ContentLocationBase + name);
    }
    part->SetHeaderValue("Content-Disposition", "inline");
    if (related) {
      part->ParentPart = related;
      part->ParentBoundary = related->BoundaryParam();
      related->SubParts.Add(part);
    }
    return;
  }

  part->SetHeaderParam("X-Vezi2000-Attachment", "embedded", "no");
  if (part->HeaderParam("Content-Type", "name").empty()) part->SetHeaderParam("Content-Type", "name", quotedName);
  if (part->HeaderParam("Content-Disposition", "filename").empty())
    part->SetHeaderParam("Content-Disposition", "filename", quotedName);
  if (mixed) {
    part->SetHeaderValue("Content-Disposition", "attachment");
    part->ParentPart = mixed;
    part->ParentBoundary = mixed->BoundaryParam();
    mixed->SubParts.Add(part);
    return;
  }
  // The only thing in the message: the message carries it itself.
  for (const char* prefix : {"Content-", "X-Vezi2000-"})
    for (const std::string& line : part->Header)
      if (line.size() >= std::strlen(prefix) && SameTextAscii(std::string_view(line).substr(0, std::strlen(prefix)), prefix))
        Header.push_back(line);
  part->DecodeBody();
  DecodedBody = part->DecodedBody;
  EncodeBody(etBase64);
  IsEmbedded = false;
  int index = AttachList.IndexOf(part);
  if (index >= 0) AttachList.Replace(index, this);
  DestroyPart(part);
}

void ZIzorAvarivi2000::RenderSubParts(const TMailPart& part, std::string& out) const {
  for (const TMailPart* sub : part.SubParts) {
    out += "\r\n--";
    out += sub->ParentBoundary;
    out += "\r\n";
    for (const std::string& line : sub->Header) {
      if (line.empty()) continue;
      out += line;
      out += "\r\n";
    }
    out += "\r\n";
    if (sub->SubParts.Empty())
      out += sub->EncodedBody;
    else
      RenderSubParts(*sub, out);
  }
  if (!part.SubParts.Empty()) {
    out += "\r\n--";
    out += part.SubParts.First()->ParentBoundary;
    out += "--\r\n";
  }
}

void ZIzorAvarivi2000::ComposeBody() {
  if (!BodyChanged) return;
  if (!SubParts.Empty()) {
    std::size_t estimate = sizeof kPreamble;
    for (const auto& part : FOwnedParts) estimate += part->EncodedBody.size() + part->HeaderTextLength() + 128;
    EncodedBody.clear();
    EncodedBody.reserve(estimate);
    EncodedBody += kPreamble;
    RenderSubParts(*this, EncodedBody);
  }
  SetHeaderValue("Content-Length", std::to_string(EncodedBody.size()));
  BodyChanged = false;
}

std::string ZIzorAvarivi2000::MessageText() const { return HeaderText() + "\r\n" + EncodedBody; }

} // namespace postello
