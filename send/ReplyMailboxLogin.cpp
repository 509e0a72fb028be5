#include "send/ReplyMailboxLogin.h"

#include "core/TKontoStore.h"
#include "smtp/TSMTPSend.h"
#include "smtp/TTCPBlockSocket.h"

namespace postello {

TImapLogin ReplyMailboxLogin(const TKontoRec& konto, TBearerTokens* tokens) {
  const TReplyMailbox& m = konto.Mailbox;
  const std::string account = "Das Konto " + konto.Absender + " <" + konto.Email + ">";
  if (m.Server.empty()) throw EImapError(account + " hat keinen Posteingang f\xFCr R\xFC" "ckl\xE4ufer.");
  TImapLogin login = TImapLogin::FromServer(m.Server);
  login.User = m.User;
  if (!m.OAuth) {
    login.Password = DeCodePassw(m.Password);
    return login;
  }
  std::string reason = "es hat keine OAuth-Anmeldung (postello-cli oauth)";
  const std::string address = ExtractAddress(konto.Email), server = ServerKeyOf(konto.Server);
  if (tokens == nullptr || !tokens->HasGrant(address, server) ||
      !tokens->AccessToken(address, server, false, login.BearerToken, reason))
    throw EImapError(account + " kann sich nicht am Posteingang " + m.Server + " anmelden: " + reason);
  return login;
}

std::unique_ptr<TImapMailbox> OpenReplyMailbox(const TKontoRec& konto, TServerTrust& trust, TBearerTokens* tokens,
                                               const std::atomic<bool>* cancel) {
  TImapLimits limits;
  limits.Cancel = cancel;
  auto box = std::make_unique<TImapMailbox>(std::make_unique<TTCPBlockSocket>(), trust, limits);
  box->Open(ReplyMailboxLogin(konto, tokens));
  box->Select(konto.Mailbox.Folder);
  return box;
}

} // namespace postello
