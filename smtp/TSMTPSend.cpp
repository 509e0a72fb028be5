#include "smtp/TSMTPSend.h"

#include "core/Base64.h"
#include "core/CountedNoun.h"
#include "core/WithoutSecrets.h"
#include "smtp/SmtpAuthCrypto.h"
#include "smtp/TTCPBlockSocket.h"

#include <algorithm>
#include <charconv>
#include <chrono>

namespace postello {

namespace {

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

// A reply line as it goes into a one-line reason: control characters
// become blanks, and a server's essay is cut short.
std::string LogLine(std::string_view line) {
  constexpr size_t kMax = 200;
  std::string out(line.substr(0, kMax));
  for (char& c : out)
    if (static_cast<unsigned char>(c) < 32 || c == 127) c = ' ';
  if (line.size() > kMax) out += "...";
  return out;
}

std::string Duration(int ms) {
  if (ms % 60000 == 0 && ms >= 120000) return std::to_string(ms / 60000) + " Minuten";
  if (ms % 1000 == 0) return CountedNoun(static_cast<std::size_t>(ms / 1000), "Sekunde", "Sekunden");
  return CountedNoun(static_cast<std::size_t>(ms), "Millisekunde", "Millisekunden");
}

// Whether the AUTH line (upper case) names the method as a word of its
// own: "PLAIN" must not be found inside another method's name.
bool HasAuthWord(std::string_view line, std::string_view method) {
  size_t at = 0;
  while ((at = line.find(method, at)) != std::string_view::npos) {
    const size_t end = at + method.size();
    const bool startOk = at == 0 || line[at - 1] == ' ' || line[at - 1] == '=';
    const bool endOk = end == line.size() || line[end] == ' ';
    if (startOk && endOk) return true;
    at = end;
  }
  return false;
}

constexpr const char* kNoTls = "Der Server bietet keine Verschl\xFCsselung an";
constexpr const char* kNotSent = "Nachricht mit Anmeldedaten nicht gesendet";

} // namespace

std::string FormatFingerprint(const std::string& hex) {
  std::string out;
  for (size_t i = 0; i < hex.size(); ++i) {
    if (i > 0 && i % 2 == 0) out += ':';
    const char c = hex[i];
    out += c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
  }
  return out;
}

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

std::string TSMTPSend::ServerKey() const {
  std::string host = ServerHost;
  for (char& c : host)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  if (host.find(':') != std::string::npos) host = "[" + host + "]";
  std::string port = ServerPort;
  int32_t number = 0;
  if (const int known = TTCPBlockSocket::WellKnownMailPort(port); known != 0)
    port = std::to_string(known);
  else if (ParseInt32(port, number))
    port = std::to_string(number);
  return host + ":" + port;
}

TSendResult TSMTPSend::Result(bool delivered) const {
  if (delivered) return TSendResult(true);
  std::string reason = FailReason;
  if (!AuthNote.empty()) reason = reason.empty() ? AuthNote : AuthNote + "; " + reason;
  if (FCancelled) return TSendResult::Interrupted(WireReason(TBlockSocket::ErrCancelled));
  TSendResult result = TSendResult::Refused(FFailCode, reason);
  result.Uncertain = FDataEndUnanswered;
  result.DataEndSent = FDataEndSent;
  result.ConnectFailed = FOpenFailed;
  result.LoginRefused = FLoginRefused;
  return result;
}

bool TSMTPSend::Fail(std::string reason) {
  FailReason = std::move(reason);
  FFailCode = ReplyCode;
  return false;
}

std::string TSMTPSend::WireReason(int error) const {
  switch (error) {
    case TBlockSocket::ErrResolve: return "Server \"" + LogLine(ServerHost) + "\" nicht gefunden";
    case ECONNREFUSED: return "Verbindung zu " + LogLine(ServerKey()) + " abgelehnt";
    case ENETUNREACH:
    case EHOSTUNREACH: return "Server " + LogLine(ServerKey()) + " nicht erreichbar";
    case TBlockSocket::ErrTimedOut: return "keine Antwort vom Server innerhalb von " + Duration(ReadTimeout);
    case TBlockSocket::ErrDeadline:
      return "keine Antwort vom Server innerhalb des Zeitlimits von " + Duration(MessageTimeLimit) +
             " f\xFCr die Nachricht";
    case TBlockSocket::ErrConnReset: return "Server hat die Verbindung beendet";
    case TBlockSocket::ErrLineTooLong: return "Antwort des Servers zu gro\xDF";
    case TBlockSocket::ErrTls: return "TLS-Verbindung fehlgeschlagen";
    case TBlockSocket::ErrCancelled: return "vom Benutzer abgebrochen";
    default: return "Netzwerkfehler " + std::to_string(error);
  }
}

std::string TSMTPSend::ReplyReason() const {
  if (FWireError != 0) return WireReason(FWireError);
  if (ReplyCode == 0) return "unverst\xE4ndliche Antwort des Servers: " + LogLine(LastReplyLine);
  return LogLine(LastReplyLine);
}

bool TSMTPSend::Interrupted() {
  if (!FCancelled && FSock->CancelRequested()) FCancelled = true;
  return FCancelled;
}

void TSMTPSend::SendCommand(std::string_view command) {
  if (Interrupted()) return;
  std::string line(command);
  line += "\r\n";
  FSock->SendString(line, ReadTimeout);
  if (FSock->LastError() == TBlockSocket::ErrCancelled) FCancelled = true;
}

int TSMTPSend::ReadReply() {
  ReplyLines.clear();
  FWireError = 0;
  if (Interrupted()) {
    FWireError = TBlockSocket::ErrCancelled;
    ReplyLines.push_back(LastReplyLine = std::string());
    ReplyCode = 0;
    return 0;
  }
  size_t total = 0;
  for (;;) {
    LastReplyLine = FSock->RecvLine(ReadTimeout);
    total += LastReplyLine.size() + 2;
    if (total > MaxReplyBytes || ReplyLines.size() >= MaxReplyLines) {
      // A server that never ends its reply must not fill our memory.
      FSock->CloseSocket();
      ReplyLines.clear();
      ReplyLines.push_back(LastReplyLine = std::string());
      FWireError = TBlockSocket::ErrLineTooLong;
      break;
    }
    ReplyLines.push_back(LastReplyLine);
    if (FSock->LastError() != 0) {
      FWireError = FSock->LastError();
      if (FWireError == TBlockSocket::ErrCancelled) FCancelled = true;
      break;
    }
    if (LastReplyLine.find('-') != 3) break;
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
  SendCommand(Base64Encode(AuthUser));
  if (ReadReply() != 334) return false;
  SendCommand(Base64Encode(AuthPassword));
  return ReadReply() == 235;
}

bool TSMTPSend::AuthenticateCramMd5() {
  SendCommand("AUTH CRAM-MD5");
  if (ReadReply() != 334) return false;
  const std::string challenge =
      SmtpBase64Decode(LastReplyLine.size() > 4 ? std::string_view(LastReplyLine).substr(4)
                                                : std::string_view());
  SendCommand(Base64Encode(SmtpCramMd5Response(AuthUser, AuthPassword, challenge)));
  return ReadReply() == 235;
}

bool TSMTPSend::AuthenticatePlain() {
  // The three fields are separated by NUL bytes, so a name or password
  // holding one cannot be said in this method.
  if (AuthUser.find('\0') != std::string::npos || AuthPassword.find('\0') != std::string::npos) return false;
  std::string credentials;
  credentials += '\0';
  credentials += AuthUser;
  credentials += '\0';
  credentials += AuthPassword;
  const std::string response = Base64Encode(credentials);
  // The initial response saves a round trip; a server that still asks
  // with an empty challenge gets the same answer.
  SendCommand("AUTH PLAIN " + response);
  int code = ReadReply();
  if (code == 334) {
    SendCommand(response);
    code = ReadReply();
  }
  return code == 235;
}

bool TSMTPSend::AuthenticateXOAuth2(const std::string& user, const std::string& token) {
  // ^A separates the fields, and a line end would end the command early.
  if (HasControlCharacter(user) || HasControlCharacter(token)) return false;
  const std::string response = Base64Encode("user=" + user + "\x01" "auth=Bearer " + token + "\x01\x01");
  SendCommand("AUTH XOAUTH2 " + response);
  int code = ReadReply();
  if (code == 334) {
    // The challenge holds the server's error (JSON in Base64); the
    // exchange ends with an empty answer and the failure reply.
    SendCommand("");
    code = ReadReply();
  }
  return code == 235;
}

bool TSMTPSend::LogInWithBearer() {
  std::string line = FindCapability("AUTH ");
  if (line.empty()) line = FindCapability("AUTH=");
  if (!HasAuthWord(UpperAscii(line), "XOAUTH2")) {
    AuthNote = "Server bietet keine Anmeldung mit OAuth (XOAUTH2) an";
    return true;
  }
  const std::string user = AuthUser.empty() ? ExtractAddress(TokenAccount) : AuthUser;
  std::string token;
  std::string reason;
  const auto fetch = [&](bool renew) {
    // Renewing asks the provider over the network: that time belongs to
    // no answer of this server.
    const auto asked = TBlockSocket::TClock::now();
    const bool ok = Tokens->AccessToken(TokenAccount, ServerKey(), renew, token, reason);
    FSock->ExtendDeadline(TBlockSocket::TClock::now() - asked);
    return ok;
  };
  const auto noToken = [&] {
    CloseSession();
    return Fail(reason);
  };
  if (!fetch(false)) return noToken();
  Authenticated = AuthenticateXOAuth2(user, token);
  if (!Authenticated && ReplyCode != 0 && !Interrupted()) {
    // Refused, but still talking: the token may have been revoked or run
    // out early. One renewed token gets one more try.
    if (!fetch(true)) return noToken();
    Authenticated = AuthenticateXOAuth2(user, token);
  }
  FLoginRefused = !Authenticated && ReplyCode != 0;
  if (!Authenticated)
    AuthNote = WithoutSecrets("Anmeldung abgelehnt (" + ReplyReason() + ")", {token});
  return true;
}

bool TSMTPSend::AcceptCertificate() {
  const TPeerCertificate cert = FSock->PeerCertificate();
  if (cert.Problem == TCertProblem::None) return true;
  // Without a password to protect, an unverified certificate still keeps
  // the message from passive eyes; refusing it would only send it in clear.
  if (AuthUser.empty() && AuthPassword.empty() && !FBearer) return true;
  if (Trust != nullptr) {
    const auto asked = TBlockSocket::TClock::now();
    const bool trusted = Trust->TrustCertificate(ServerKey(), cert);
    FSock->ExtendDeadline(TBlockSocket::TClock::now() - asked);
    if (trusted) return true;
  }
  return Fail(CertProblemText(cert.Problem));
}

bool TSMTPSend::ClearTextAllowed() {
  // A server that offers STARTTLS now or did before and goes without it is
  // what a man in the middle who strips it looks like: no consent covers that.
  if (StartTlsOffered)
    return Fail(std::string(kNoTls) + " (STARTTLS abgelehnt: " + LogLine(FTlsRefusal) + "); " + kNotSent);
  if (Trust != nullptr && Trust->StartTlsSeen(ServerKey()))
    return Fail(std::string(kNoTls) + " (STARTTLS fehlt, obwohl er es fr\xFCher angeboten hat); " + kNotSent);
  if (Trust != nullptr) {
    const auto asked = TBlockSocket::TClock::now();
    const bool allowed = Trust->AllowPlainAuth(ServerKey());
    FSock->ExtendDeadline(TBlockSocket::TClock::now() - asked);
    if (allowed) return true;
  }
  return Fail(std::string(kNoTls) + "; " + kNotSent);
}

bool TSMTPSend::OpenSession() {
  ReplyCode = 0;
  FOpenFailed = !OpenSteps();
  return !FOpenFailed;
}

bool TSMTPSend::OpenSteps() {
  Authenticated = false;
  FLoginRefused = false;
  FDataEndSent = false;
  FDataEndUnanswered = false;
  SizeAnnounced = false;
  MaxMessageSize = 0;
  Capabilities.clear();
  UsesEsmtp = true;
  UsesTls = false;
  StartTlsOffered = false;
  FailReason.clear();
  AuthNote.clear();
  FTlsRefusal.clear();
  FWireError = 0;
  FBearer = Tokens != nullptr && Tokens->HasGrant(TokenAccount, ServerKey());

  FSock->CloseSocket();
  if (Interrupted()) return Fail(WireReason(TBlockSocket::ErrCancelled));
  FSock->Connect(ServerHost, ServerPort);
  if (FSock->LastError() != 0) {
    if (FSock->LastError() == TBlockSocket::ErrCancelled) FCancelled = true;
    return Fail(WireReason(FSock->LastError()));
  }
  if (FSock->RemotePort() == 465) {
    if (!FSock->StartTls(ServerHost, ReadTimeout)) {
      ReplyCode = 0;
      if (FSock->LastError() == TBlockSocket::ErrCancelled) FCancelled = true;
      return Fail(WireReason(FSock->LastError()));
    }
    UsesTls = true;
    // Nothing has been said yet, so a refused certificate ends the
    // connection without a word.
    if (!AcceptCertificate()) return false;
  }
  if (ReadReply() != 220) return Fail(ReplyReason());
  if (!SayEhlo()) {
    // No answer at all (time-out, connection gone): the connection is in
    // no state for a second greeting.
    if (ReplyCode == 0) return Fail(ReplyReason());
    UsesEsmtp = false;
    if (!SayHelo()) return Fail(ReplyReason());
  }
  if (UsesEsmtp) TakeCapabilities();

  if (!UsesTls && UsesEsmtp && !FindCapability("STARTTLS").empty()) {
    StartTlsOffered = true;
    if (Trust != nullptr) Trust->NoteStartTls(ServerKey());
    SendCommand("STARTTLS");
    const int code = ReadReply();
    if (code == 0) return Fail(ReplyReason());
    if (code != 220) {
      // Refused (454 and the like): the conversation goes on in clear,
      // and no password goes with it.
      FTlsRefusal = LastReplyLine;
    } else {
      if (!FSock->StartTls(ServerHost, ReadTimeout)) {
        ReplyCode = 0;
        if (FSock->LastError() == TBlockSocket::ErrCancelled) FCancelled = true;
        return Fail(WireReason(FSock->LastError()));
      }
      UsesTls = true;
      if (!AcceptCertificate()) {
        const std::string reason = FailReason;
        CloseSession();
        return Fail(reason);
      }
      // What the server said before the upgrade cannot be trusted; ask again.
      if (!SayEhlo()) {
        const std::string reason = ReplyReason();
        if (ReplyCode != 0) CloseSession();
        return Fail(reason);
      }
      TakeCapabilities();
    }
  }

  // The login and everything after it (the sender, the recipients, the
  // text) go in clear only where the user allowed that for this server.
  if ((FBearer || !AuthUser.empty() || !AuthPassword.empty()) && !UsesTls && !ClearTextAllowed()) {
    const std::string reason = FailReason;
    CloseSession();
    return Fail(reason);
  }

  if (FBearer && UsesEsmtp) {
    if (!LogInWithBearer()) return false;
  } else if ((!AuthUser.empty() || !AuthPassword.empty()) && UsesEsmtp) {
    std::string line = FindCapability("AUTH ");
    if (line.empty()) line = FindCapability("AUTH=");
    line = UpperAscii(line);
    const bool cram = line.find("CRAM-MD5") != std::string::npos;
    const bool login = line.find("LOGIN") != std::string::npos;
    const bool plain = HasAuthWord(line, "PLAIN");
    if (cram || login || plain) {
      if (cram) Authenticated = AuthenticateCramMd5();
      if (!Authenticated && login) Authenticated = AuthenticateLogin();
      if (!Authenticated && plain && !Interrupted()) Authenticated = AuthenticatePlain();
      FLoginRefused = !Authenticated && ReplyCode != 0;
      if (!Authenticated) AuthNote = "Anmeldung abgelehnt (" + ReplyReason() + ")";
    }
  }
  if (Interrupted()) return Fail(WireReason(TBlockSocket::ErrCancelled));

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
  FDataEndSent = false;
  FDataEndUnanswered = false;
  std::string command = "MAIL FROM:<" + address + ">";
  if (SizeAnnounced && size > 0) command += " SIZE=" + std::to_string(size);
  FTransactionOpen = true;
  SendCommand(command);
  return ReadReply() == 250 || Fail(ReplyReason());
}

bool TSMTPSend::AddEnvelopeRecipient(const std::string& address) {
  if (HasControlCharacter(address)) {
    ReplyCode = 0;
    return false;
  }
  SendCommand("RCPT TO:<" + address + ">");
  return ReadReply() == 250 || Fail(ReplyReason());
}

bool TSMTPSend::SendData(const std::vector<std::string>& data) {
  SendCommand("DATA");
  if (ReadReply() != 354) return Fail(ReplyReason());
  return SendMessageText(data);
}

bool TSMTPSend::SendMessageText(const std::vector<std::string>& data) {
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
        if (!Interrupted() && FWireError == 0) {
          FSock->SendString(out, ReadTimeout);
          if (FSock->LastError() == TBlockSocket::ErrCancelled) FCancelled = true;
          else if (FSock->LastError() != 0) FWireError = FSock->LastError();
        }
        out.clear();
      }
    }
  };
  FWireError = 0;
  for (const std::string& item : data) {
    put(item);
    put("\r\n");
    if (Interrupted()) return Fail(WireReason(TBlockSocket::ErrCancelled));
  }
  out += ".\r\n";
  if (Interrupted()) return Fail(WireReason(TBlockSocket::ErrCancelled));
  // A piece that could not go out: the end never did either.
  if (FWireError != 0) return Fail(WireReason(FWireError));
  // Whatever the server said since its 354 would be read as the answer to
  // the end of the data, and a refused message taken as sent: a server out
  // of step with the dialogue gets no end, so nothing is stored.
  if (FSock->InputWaiting()) {
    ReplyLines.assign(1, LastReplyLine = FSock->RecvLine(0));
    ReplyCode = 0;
    FSock->CloseSocket();
    return Fail("Server antwortet vor dem Ende der Nachricht (" + LogLine(LastReplyLine) +
                "), Nachricht nicht abgeschlossen");
  }
  if (BeforeDataEnd && !BeforeDataEnd()) {
    // Without the end the server drops what it got; nothing else may follow
    // on this connection, or it would be read as message text.
    FSock->CloseSocket();
    return Fail("Versandprotokoll nicht schreibbar, Nachricht nicht abgeschlossen");
  }
  FSock->SendString(out, ReadTimeout);
  if (FSock->LastError() == TBlockSocket::ErrCancelled) FCancelled = true;
  if (FCancelled) return Fail(WireReason(TBlockSocket::ErrCancelled));
  // A failed write leaves the end unsent (a write reports an error only
  // for bytes it could not hand over).
  if (FSock->LastError() != 0) return Fail(WireReason(FSock->LastError()));
  // The end of the data is out: the server may already be storing the
  // message, so from here a cancel request must not cut the answer off.
  FDataEndSent = true;
  FSock->SetCancelFlag(nullptr);
  const int code = ReadReply();
  if (code == 250) {
    FTransactionOpen = false;
    return true;
  }
  // A server that answered said yes or no; one that did not (the
  // connection dropped, the time ran out, the reply made no sense) may
  // have the message all the same.
  FDataEndUnanswered = code == 0;
  return Fail(ReplyReason());
}

void TSMTPSend::CloseSession() {
  if (!Interrupted()) {
    SendCommand("QUIT");
    ReadReply();
  }
  FSock->CloseSocket();
}

bool TSMTPSend::ServerGone(bool reset, int code) {
  // Any refusal of RSET means the connection is of no further use; MAIL
  // FROM refused for its sender is the message's own failure.
  return reset || code == 0 || code == 421;
}

bool TSMTPSend::Pipelining() const {
  for (const std::string& line : Capabilities)
    if (UpperAscii(line) == "PIPELINING") return true;
  return false;
}

bool TSMTPSend::SendEnvelopeGroup(bool reused, const std::string& sender, int64_t size,
                                  const std::vector<std::string>& addresses, bool withData) {
  FResetRefused = false;
  FDataOpen = false;
  FDataEndSent = false;
  FDataEndUnanswered = false;
  if (HasControlCharacter(sender) || std::any_of(addresses.begin(), addresses.end(), HasControlCharacter)) {
    ReplyCode = 0;
    return Fail(kControlCharacterReason);
  }
  if (Interrupted()) return Fail(WireReason(TBlockSocket::ErrCancelled));
  // A transaction the server completed (250 to the end of the data) leaves
  // nothing to reset: RSET would only cost a round trip per message. One
  // that failed or was cut short may have left a sender or recipients
  // behind.
  const bool reset = FTransactionOpen;
  std::vector<std::string> commands;
  if (reset) commands.emplace_back("RSET");
  std::string mail = "MAIL FROM:<" + sender + ">";
  if (SizeAnnounced && size > 0) mail += " SIZE=" + std::to_string(size);
  commands.push_back(std::move(mail));
  for (const std::string& address : addresses) commands.push_back("RCPT TO:<" + address + ">");
  const bool grouped = GroupCommands && Pipelining();
  withData = withData && grouped;
  if (withData) commands.emplace_back("DATA");

  FTransactionOpen = true;
  if (!grouped) {
    for (std::size_t i = 0; i < commands.size(); ++i) {
      SendCommand(commands[i]);
      const int code = ReadReply();
      if (code != 250) {
        FResetRefused = reused && i == 0 && ServerGone(reset, code);
        return Fail(ReplyReason());
      }
    }
    return true;
  }
  // One write for the whole group: the server answers each command in
  // turn, and a refusal only changes what the later replies say.
  std::string group;
  for (const std::string& command : commands) group += command + "\r\n";
  FWireError = 0;
  if (!Interrupted()) {
    FSock->SendString(group, ReadTimeout);
    if (FSock->LastError() == TBlockSocket::ErrCancelled) FCancelled = true;
    else FWireError = FSock->LastError();
  }
  if (FCancelled) return Fail(WireReason(TBlockSocket::ErrCancelled));
  if (FWireError != 0) {
    FResetRefused = reused;
    return Fail(WireReason(FWireError));
  }
  bool ok = true;
  for (std::size_t i = 0; i < commands.size(); ++i) {
    const int code = ReadReply();
    if (withData && i + 1 == commands.size()) {
      // The server waits for the message text now, even when a recipient
      // was refused; only the text or a closed connection ends that.
      FDataOpen = code == 354;
      if (ok && !FDataOpen) {
        Fail(ReplyReason());
        ok = false;
      }
      break;
    }
    if (code == 250) continue;
    if (ok) {
      FResetRefused = reused && i == 0 && ServerGone(reset, code);
      Fail(ReplyReason());
      ok = false;
    }
    // Without a reply the rest cannot be read either, and a server that
    // says 421 closes the connection without answering the rest.
    if (code == 0 || code == 421 || FResetRefused) break;
  }
  return ok;
}

bool SendRawMail(const std::string& senderAddress, const std::string& recipients,
                 const std::string& server, const std::vector<std::string>& data,
                 const std::string& userName, const std::string& password,
                 const TSMTPSendOptions& options) {
  return SendRawMailWithReason(senderAddress, recipients, server, data, userName, password, options).Delivered;
}

std::string ServerKeyOf(const std::string& server) {
  TSMTPSend session;
  session.SplitServer(server);
  return session.ServerKey();
}

TServerProbe ProbeServer(const std::string& server, const TSMTPSendOptions& options) {
  TServerProbe probe;
  TSMTPSend session(options.MakeSocket ? options.MakeSocket() : nullptr);
  session.ReadTimeout = options.ReadTimeout;
  session.MessageTimeLimit = options.MessageTimeLimit;
  session.Sock().SetCancelFlag(options.Cancel);
  if (options.MessageTimeLimit > 0)
    session.Sock().SetDeadline(TBlockSocket::TClock::now() + std::chrono::milliseconds(options.MessageTimeLimit));
  session.SplitServer(server);
  probe.Key = session.ServerKey();
  // Without credentials the session takes TLS whatever the certificate,
  // so the certificate can be looked at afterwards.
  probe.Reached = session.OpenSession();
  probe.Reason = session.FailReason;
  probe.Tls = session.UsesTls;
  if (probe.Reached && session.SizeAnnounced) probe.SizeLimit = session.MaxMessageSize;
  if (session.UsesTls) probe.Certificate = session.Sock().PeerCertificate();
  if (probe.Reached) session.CloseSession();
  return probe;
}

} // namespace postello
