#include "send/TSMTPSend.h"

#include "send/SmtpAuthCrypto.h"
#include "send/TTCPBlockSocket.h"

#include <algorithm>
#include <charconv>

namespace postello {

namespace {

// Replies longer than this many lines are treated like an overlong line:
// a server that never ends its reply must not fill our memory.
constexpr size_t kMaxReplyLines = 4096;

// Data is handed to the socket in pieces of about this size rather than
// line by line: one system call per line would dominate the send time.
constexpr size_t kDataChunk = 64 * 1024;

std::string_view TrimControl(std::string_view s) {
  while (!s.empty() && static_cast<unsigned char>(s.front()) <= 32) s.remove_prefix(1);
  while (!s.empty() && static_cast<unsigned char>(s.back()) <= 32) s.remove_suffix(1);
  return s;
}

std::string UpperAscii(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return out;
}

bool ParseInt32(std::string_view s, int32_t& value) {
  if (s.empty()) return false;
  const char* end = s.data() + s.size();
  auto [ptr, ec] = std::from_chars(s.data(), end, value);
  return ec == std::errc() && ptr == end;
}

} // namespace

std::string ExtractAddress(std::string_view text) {
  if (const size_t lt = text.find('<'); lt != std::string_view::npos) text.remove_prefix(lt + 1);
  if (const size_t gt = text.find('>'); gt != std::string_view::npos) text = text.substr(0, gt);
  return std::string(TrimControl(text));
}

std::vector<std::string> SplitRecipientList(std::string_view recipients) {
  std::vector<std::string> out;
  std::string_view rest = TrimControl(recipients);
  do {
    const size_t comma = rest.find(',');
    std::string_view piece = rest.substr(0, comma);
    rest = comma == std::string_view::npos ? std::string_view() : TrimControl(rest.substr(comma + 1));
    out.push_back(ExtractAddress(TrimControl(piece)));
  } while (!rest.empty());
  return out;
}

bool HasControlCharacter(std::string_view address) {
  return std::any_of(address.begin(), address.end(), [](char c) {
    const auto b = static_cast<unsigned char>(c);
    return b < 32 || b == 127;
  });
}

TSMTPSend::TSMTPSend(std::unique_ptr<TBlockSocket> socket)
    : FSock(socket ? std::move(socket) : std::make_unique<TTCPBlockSocket>()) {
  HeloName = TTCPBlockSocket::LocalHostName();
  if (HeloName.empty()) HeloName = "127.0.0.1";
}

TSMTPSend::~TSMTPSend() { FSock->CloseSocket(); }

void TSMTPSend::SplitServer(std::string_view server) {
  const std::string_view whole = TrimControl(server);
  if (!whole.empty() && whole.front() == '[') {
    const size_t close = whole.find(']');
    if (close != std::string_view::npos) {
      ServerHost = std::string(TrimControl(whole.substr(1, close - 1)));
      const std::string_view after = TrimControl(whole.substr(close + 1));
      if (!after.empty() && after.front() == ':') {
        const std::string_view port = TrimControl(after.substr(1));
        if (!port.empty()) ServerPort = std::string(port);
      }
      return;
    }
  }
  if (std::count(whole.begin(), whole.end(), ':') >= 2) {
    // An IPv6 literal without a port.
    ServerHost = std::string(whole);
    return;
  }
  const size_t colon = server.find(':');
  ServerHost = std::string(TrimControl(server.substr(0, colon)));
  if (colon != std::string_view::npos) {
    const std::string_view port = TrimControl(server.substr(colon + 1));
    if (!port.empty()) ServerPort = std::string(port);
  }
}

void TSMTPSend::SendCommand(std::string_view command) {
  std::string line(command);
  line += "\r\n";
  FSock->SendString(line, ReadTimeout);
}

int TSMTPSend::ReadReply() {
  ReplyLines.clear();
  for (;;) {
    LastReplyLine = FSock->RecvLine(ReadTimeout);
    ReplyLines.push_back(LastReplyLine);
    if (FSock->LastError() != 0) break;
    if (LastReplyLine.find('-') != 3) break;
    if (ReplyLines.size() >= kMaxReplyLines) {
      FSock->CloseSocket();
      ReplyLines.clear();
      ReplyLines.push_back(LastReplyLine = std::string());
      break;
    }
  }
  const std::string& first = ReplyLines.front();
  int32_t code = 0;
  if (first.size() < 3 || !std::all_of(first.begin(), first.begin() + 3,
                                       [](char c) { return c >= '0' && c <= '9'; }) ||
      !ParseInt32(std::string_view(first).substr(0, 3), code))
    code = 0;
  ReplyCode = code;
  return ReplyCode;
}

bool TSMTPSend::SayEhlo() {
  SendCommand("EHLO " + HeloName);
  const int code = ReadReply();
  return code >= 250 && code <= 259;
}

bool TSMTPSend::SayHelo() {
  SendCommand("HELO " + HeloName);
  const int code = ReadReply();
  return code >= 250 && code <= 259;
}

void TSMTPSend::TakeCapabilities() {
  Capabilities.clear();
  for (size_t i = 1; i < ReplyLines.size(); ++i)
    Capabilities.push_back(ReplyLines[i].size() > 4 ? ReplyLines[i].substr(4) : std::string());
}

std::string TSMTPSend::FindCapability(std::string_view name) const {
  const std::string wanted = UpperAscii(name);
  for (const std::string& line : Capabilities)
    if (UpperAscii(line).starts_with(wanted)) return line;
  return {};
}

bool TSMTPSend::AuthenticateLogin() {
  SendCommand("AUTH LOGIN");
  if (ReadReply() != 334) return false;
  SendCommand(SmtpBase64Encode(AuthUser));
  if (ReadReply() != 334) return false;
  SendCommand(SmtpBase64Encode(AuthPassword));
  return ReadReply() == 235;
}

bool TSMTPSend::AuthenticateCramMd5() {
  SendCommand("AUTH CRAM-MD5");
  if (ReadReply() != 334) return false;
  const std::string challenge =
      SmtpBase64Decode(LastReplyLine.size() > 4 ? std::string_view(LastReplyLine).substr(4)
                                                : std::string_view());
  SendCommand(SmtpBase64Encode(SmtpCramMd5Response(AuthUser, AuthPassword, challenge)));
  return ReadReply() == 235;
}

// Returns false when the session must end; keepGoing tells whether the
// connection is still fit for QUIT.
bool TSMTPSend::StartTlsIfOffered(bool& keepGoing) {
  keepGoing = true;
  if (UsesTls || !UsesEsmtp || FindCapability("STARTTLS").empty()) return true;
  SendCommand("STARTTLS");
  if (ReadReply() != 220) return false;
  if (!FSock->StartTls(ServerHost, ReadTimeout)) {
    keepGoing = false;
    return false;
  }
  UsesTls = true;
  // What the server said before the upgrade cannot be trusted; ask again.
  if (!SayEhlo()) return false;
  TakeCapabilities();
  return true;
}

bool TSMTPSend::OpenSession() {
  Authenticated = false;
  SizeAnnounced = false;
  MaxMessageSize = 0;
  Capabilities.clear();
  UsesEsmtp = true;
  UsesTls = false;

  FSock->CloseSocket();
  FSock->Connect(ServerHost, ServerPort);
  if (FSock->LastError() != 0) return false;
  if (FSock->RemotePort() == 465) {
    if (!FSock->StartTls(ServerHost, ReadTimeout)) return false;
    UsesTls = true;
  }
  if (ReadReply() != 220) return false;
  if (!SayEhlo()) {
    UsesEsmtp = false;
    if (!SayHelo()) return false;
  }
  if (UsesEsmtp) TakeCapabilities();

  bool keepGoing = true;
  if (!StartTlsIfOffered(keepGoing)) {
    if (keepGoing) CloseSession();
    return false;
  }

  if ((!AuthUser.empty() || !AuthPassword.empty()) && UsesEsmtp) {
    std::string line = FindCapability("AUTH ");
    if (line.empty()) line = FindCapability("AUTH=");
    if (!line.empty()) {
      line = UpperAscii(line);
      if (line.find("CRAM-MD5") != std::string::npos) Authenticated = AuthenticateCramMd5();
      if (!Authenticated && line.find("LOGIN") != std::string::npos)
        Authenticated = AuthenticateLogin();
    }
  }

  if (UsesEsmtp) {
    const std::string line = FindCapability("SIZE");
    if (!line.empty()) {
      SizeAnnounced = true;
      int32_t size = 0;
      if (line.size() <= 5 || !ParseInt32(std::string_view(line).substr(5), size)) size = 0;
      MaxMessageSize = size;
    }
  }
  return true;
}

bool TSMTPSend::SendEnvelopeSender(const std::string& address, int64_t size) {
  if (HasControlCharacter(address)) {
    ReplyCode = 0;
    return false;
  }
  std::string command = "MAIL FROM:<" + address + ">";
  if (SizeAnnounced && size > 0) command += " SIZE=" + std::to_string(size);
  SendCommand(command);
  return ReadReply() == 250;
}

bool TSMTPSend::AddEnvelopeRecipient(const std::string& address) {
  if (HasControlCharacter(address)) {
    ReplyCode = 0;
    return false;
  }
  SendCommand("RCPT TO:<" + address + ">");
  return ReadReply() == 250;
}

bool TSMTPSend::SendData(const std::vector<std::string>& data) {
  SendCommand("DATA");
  if (ReadReply() != 354) return false;

  // Every line end goes out as CR LF: a lone CR or LF would end the line
  // for some servers and not for others, and a "." after it could end the
  // data early and let message text be read as commands.
  std::string out;
  out.reserve(kDataChunk + 1024);
  bool lineStart = true;
  bool afterCr = false;  // the last line end was a CR whose LF may follow
  const auto put = [&](std::string_view text) {
    size_t i = 0;
    while (i < text.size()) {
      if (afterCr) {
        afterCr = false;
        if (text[i] == '\n') {
          ++i;
          continue;
        }
      }
      size_t end = i;
      while (end < text.size() && text[end] != '\r' && text[end] != '\n') ++end;
      const size_t stop = end;
      if (end == text.size()) end = std::string_view::npos;
      if (stop > i) {
        if (lineStart && text[i] == '.') out += '.';
        out.append(text.data() + i, stop - i);
        lineStart = false;
      }
      if (end == std::string_view::npos) break;
      out += "\r\n";
      lineStart = true;
      afterCr = text[end] == '\r';
      i = end + 1;
      if (out.size() >= kDataChunk) {
        FSock->SendString(out, ReadTimeout);
        out.clear();
      }
    }
  };
  for (const std::string& item : data) {
    put(item);
    put("\r\n");
  }
  out += ".\r\n";
  FSock->SendString(out, ReadTimeout);
  return ReadReply() == 250;
}

void TSMTPSend::CloseSession() {
  SendCommand("QUIT");
  ReadReply();
  FSock->CloseSocket();
}

bool SendRawMail(const std::string& senderAddress, const std::string& recipients,
                 const std::string& server, const std::vector<std::string>& data,
                 const std::string& userName, const std::string& password,
                 const TSMTPSendOptions& options) {
  const std::string sender = ExtractAddress(senderAddress);
  const std::vector<std::string> addresses = SplitRecipientList(recipients);
  // An address that would carry a line end into a command is refused
  // before anything is said to the server.
  if (HasControlCharacter(sender) ||
      std::any_of(addresses.begin(), addresses.end(), HasControlCharacter))
    return false;

  TSMTPSend session(options.MakeSocket ? options.MakeSocket() : nullptr);
  session.ReadTimeout = options.ReadTimeout;
  session.SplitServer(server);
  session.AuthUser = userName;
  session.AuthPassword = password;
  if (!session.OpenSession()) return false;

  int64_t size = 0;
  for (const std::string& item : data) size += static_cast<int64_t>(item.size()) + 2;

  bool result = session.SendEnvelopeSender(sender, size);
  if (result) {
    result = false;
    for (const std::string& address : addresses) {
      if (!address.empty()) result = session.AddEnvelopeRecipient(address);
      if (!result) break;
    }
    if (result) result = session.SendData(data);
  }
  session.CloseSession();
  return result;
}

} // namespace postello
