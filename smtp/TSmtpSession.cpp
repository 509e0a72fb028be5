#include "smtp/TSmtpSession.h"

#include <algorithm>
#include <chrono>

namespace postello {

namespace {

constexpr const char* kNoRecipient = "Empf\xE4ngeradresse fehlt";

// The addresses RCPT names: empty pieces are passed over once an address
// came, and an empty first piece leaves the message without recipients.
std::vector<std::string> RcptAddresses(std::vector<std::string> envelope) {
  std::vector<std::string> out;
  for (std::string& address : envelope) {
    if (address.empty()) {
      if (out.empty()) break;
      continue;
    }
    out.push_back(std::move(address));
  }
  return out;
}

} // namespace

TSmtpSession::TSmtpSession(TSMTPSendOptions options, int reuse) : FOptions(std::move(options)), FReuse(reuse) {}

TSmtpSession::~TSmtpSession() { Close(); }

void TSmtpSession::Close() {
  if (FSmtp) FSmtp->CloseSession();
  FSmtp.reset();
  FCarried = 0;
}

void TSmtpSession::Drop(bool quit) {
  if (FSmtp && quit) FSmtp->CloseSession();
  FSmtp.reset();
  FCarried = 0;
}

bool TSmtpSession::Open(const TOutgoingMail& mail, TSendResult& result) {
  FSmtp = std::make_unique<TSMTPSend>(FOptions.MakeSocket ? FOptions.MakeSocket() : nullptr);
  ++FConnections;
  FSmtp->ReadTimeout = FOptions.ReadTimeout;
  FSmtp->MessageTimeLimit = FOptions.MessageTimeLimit;
  FSmtp->Trust = FOptions.Trust;
  FSmtp->SplitServer(mail.Server);
  FSmtp->AuthUser = mail.User;
  FSmtp->AuthPassword = mail.Password;
  FSmtp->Tokens = FOptions.Tokens;
  FSmtp->TokenAccount = ExtractAddress(mail.Sender);
  FSmtp->GroupCommands = FReuse > 0;
  Arm(mail);
  if (!FSmtp->OpenSession()) {
    // Gone without QUIT, as a single message's session would be.
    result = FSmtp->Result(false);
    FSmtp.reset();
    return false;
  }
  FServer = mail.Server;
  FUser = mail.User;
  FPassword = mail.Password;
  FCarried = 0;
  return true;
}

void TSmtpSession::Arm(const TOutgoingMail& mail) {
  TBlockSocket& sock = FSmtp->Sock();
  sock.SetCancelFlag(FOptions.Cancel);
  sock.SetDeadline(FOptions.MessageTimeLimit > 0
                       ? TBlockSocket::TClock::now() + std::chrono::milliseconds(FOptions.MessageTimeLimit)
                       : TBlockSocket::TClock::time_point::max());
  FSmtp->BeforeDataEnd = mail.BeforeDataEnd ? mail.BeforeDataEnd : FOptions.BeforeDataEnd;
}

TSendResult TSmtpSession::Deliver(const TOutgoingMail& mail) {
  if (!mail.Deliverable) return TSendResult::Failed(kControlCharacterReason);
  const std::string sender = ExtractAddress(mail.Sender);
  std::vector<std::string> envelope = mail.EnvelopeAddresses();
  // An address that would carry a line end into a command is refused
  // before anything is said to the server.
  if (HasControlCharacter(sender) || std::any_of(envelope.begin(), envelope.end(), HasControlCharacter))
    return TSendResult::Failed(kControlCharacterReason);
  if (FSmtp && (mail.Server != FServer || mail.User != FUser || mail.Password != FPassword)) Close();

  const std::vector<std::string> addresses = RcptAddresses(std::move(envelope));
  int64_t size = 0;
  for (const std::string& item : mail.Data) size += static_cast<int64_t>(item.size()) + 2;

  // Bytes from an idle connection are either a server closing it or a
  // reply no command asked for; after either, replies would be matched to
  // the wrong commands.
  if (FSmtp && FSmtp->Sock().InputWaiting()) Drop(false);

  for (bool retried = false;; retried = true) {
    const bool fresh = !FSmtp;
    if (fresh) {
      TSendResult failed;
      if (!Open(mail, failed)) return failed;
    } else {
      Arm(mail);
    }
    TSMTPSend& smtp = *FSmtp;
    // Without recipients the sender still goes out: a refusal of it is
    // the better reason.
    bool ok = smtp.SendEnvelopeGroup(!fresh, sender, size, addresses, !addresses.empty());
    if (ok && addresses.empty()) {
      smtp.FailReason = kNoRecipient;
      ok = false;
    }
    if (!ok && smtp.ResetRefused() && !retried && !smtp.Cancelled()) {
      // The server ended the connection after the previous message.
      Drop(false);
      continue;
    }
    if (!ok && smtp.DataOpen()) {
      // A refused recipient fails the whole message, but the server
      // already waits for its text: without the end of the data it
      // drops the transaction, and the connection cannot go on.
      const TSendResult result = smtp.Result(false);
      Drop(false);
      return result;
    }
    if (ok) ok = smtp.DataOpen() ? smtp.SendMessageText(mail.Data) : smtp.SendData(mail.Data);
    if (ok) {
      if (++FCarried >= std::max(FReuse, 1)) Close();
      return TSendResult(true);
    }
    const TSendResult result = smtp.Result(false);
    // Whatever went wrong may have left the connection in any state; the
    // next message starts afresh.
    Drop(!smtp.ResetRefused());
    return result;
  }
}

TSendResult DeliverMail(const TOutgoingMail& mail, const TSMTPSendOptions& options) {
  return TSmtpSession(options, 0).Deliver(mail);
}

TSendResult SendRawMailWithReason(const std::string& senderAddress, const std::string& recipients,
                                  const std::string& server, const std::vector<std::string>& data,
                                  const std::string& userName, const std::string& password,
                                  const TSMTPSendOptions& options) {
  TOutgoingMail mail;
  mail.Sender = senderAddress;
  mail.Recipients = recipients;
  mail.Server = server;
  mail.Data = data;
  mail.User = userName;
  mail.Password = password;
  return DeliverMail(mail, options);
}

} // namespace postello
