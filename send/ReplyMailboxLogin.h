#pragma once
// The sign-in at an account's reply mailbox, as the window and the command
// line make it.
#include "core/TKontoRec.h"
#include "imap/TImapMailbox.h"
#include "smtp/TBearerTokens.h"

namespace postello {

// Server, security and user from the account's mailbox; its password in
// clear, or, for a mailbox that signs in with OAuth, an access token of
// the account's grant (the one its SMTP server signs in with). Throws
// EImapError (German, naming the account) when the account has no
// mailbox or no token is to be had.
TImapLogin ReplyMailboxLogin(const TKontoRec& konto, TBearerTokens* tokens);

} // namespace postello
