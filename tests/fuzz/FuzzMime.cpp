// The MIME decoders and header readers from any bytes. Besides crashes,
// leaks and undefined behaviour this checks the round trips the message
// code relies on:
// - an encoded header word decodes to exactly its text (once, not twice);
// - quoted-printable in header mode decodes to exactly its text, in body
//   mode to its text with at most a line end added, in lines of at most 72
//   characters;
// - base64 lines of at most 76 characters decode, line by line, to the text.
#include "mime/Encodings.h"
#include "mime/HeaderLines.h"
#include "mime/ZIzorAvarivi2000.h"
#include "tests/fuzz/FuzzSupport.h"

using namespace postello;
using postello::fuzz::Check;

namespace {

void RoundTrips(std::string_view text) {
  Check(DecodeHeaderWords(EncodeHeaderWord(text, "iso-8859-1")) == text, "encoded word does not decode to its text");
  Check(DecodeQuotedPrintable(EncodeQuotedPrintable(text, true)) == text, "header quoted-printable round trip");

  const std::string body = EncodeQuotedPrintable(text, false);
  const std::string back = DecodeQuotedPrintable(body);
  Check(back == text || back == std::string(text) + "\r\n", "body quoted-printable round trip");
  int position = 1;
  while (position != -1) {
    const std::string line = NextLine(body, position);
    Check(line.size() <= 72 + 2, "quoted-printable line longer than 72 characters");
  }

  std::string base64;
  EncodeBase64Stream(text, base64);
  std::string decoded;
  position = 1;
  while (position != -1) {
    const std::string line = NextLine(base64, position);
    Check(line.size() <= 76 + 2, "base64 line longer than 76 characters");
    decoded += DecodeBase64Text(line);
  }
  Check(decoded == text, "base64 round trip");
}

void Decoders(std::string_view text) {
  (void)DecodeQuotedPrintable(text);
  (void)DecodeHeaderWords(text);
  (void)DecodeBase64Text(text);
  (void)DecodeUULine(text);
  (void)PadLeft(text, 8, "0");
  (void)TrimLeadingBlanks(text);
  int position = 1;
  std::size_t lines = 0, length = 0;
  while (position != -1) {
    length += NextLine(text, position).size();
    Check(++lines <= text.size() + 1, "NextLine does not advance");
  }
  Check(length == text.size(), "NextLine loses or repeats bytes");
}

// The text as a header block (lines up to an empty line) and a body, read
// the way a part and a message read them.
void Parts(std::string_view text) {
  std::vector<std::string> header;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos) end = text.size();
    const std::size_t next = text.compare(end, 2, "\r\n") == 0 ? end + 2 : end + 1;
    if (end == start) {
      start = next;
      break;
    }
    header.emplace_back(text.substr(start, end - start));
    start = next;
  }
  const std::string body(start < text.size() ? text.substr(start) : std::string_view());

  TMailPart part;
  part.Header = header;
  part.EncodedBody = body;
  part.DecodeBody();
  (void)part.AttachmentName();
  (void)part.MediaType();
  (void)part.BoundaryParam();
  (void)part.HeaderParam("Content-Disposition", "filename");
  part.SetHeaderParam("Content-Type", "name", "\"x\"");
  part.SetHeaderValue("Subject", body.substr(0, 40));
  for (const std::string& line : part.Header)
    Check(line.find_first_of("\r\n") == std::string::npos, "a value added a line break to the header");

  ZIzorAvarivi2000 msg;
  msg.Header = header;
  msg.ToRecipients.ReadFromHeader();
  msg.CcRecipients.ReadFromHeader();
  Check(msg.ToRecipients.Names.size() == msg.ToRecipients.Addresses.size(), "recipient lists out of step");
  msg.ToRecipients.WriteToHeader();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text = postello::fuzz::AsText(data, size);
  Decoders(text);
  RoundTrips(text);
  Parts(text);
  return 0;
}
