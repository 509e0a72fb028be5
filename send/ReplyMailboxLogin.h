#pragma once
// The sign-in at an account's reply mailbox, as the window and the command
// line make it.
#include "core/TKontoRec.h"
#include "imap/TImapMailbox.h"
#include "smtp/TBearerTokens.h"

#include <atomic>
#include <memory>

namespace postello {

// Server, security and user from the account's mailbox; its password in
// clear, or, for a mailbox that signs in with OAuth, an access token of
// the account's grant (the one its SMTP server signs in with). Throws
// EImapError (German, naming the account) when the account has no
// mailbox or no token is to be had.
TImapLogin ReplyMailboxLogin(const TKontoRec& konto, TBearerTokens* tokens);

// The account's reply mailbox over a new connection, signed in as above
// and its folder selected; cancel (may be null) stops the waiting. Throws
// what opening and selecting throw.
std::unique_ptr<TImapMailbox> OpenReplyMailbox(const TKontoRec& konto, TServerTrust& trust, TBearerTokens* tokens,
                                               const std::atomic<bool>* cancel);

} // namespace postello
