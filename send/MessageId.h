#pragma once
// Message-ID values for outgoing messages. Large providers refuse messages
// that carry none.
#include <string>
#include <string_view>

namespace postello {

// "<" unique local part "@" domain ">", the domain taken from the sender
// address (a display name and angle brackets around it are allowed). The
// local part joins the time in microseconds, a random number drawn once
// per process and a counter, so two calls never give the same value, not
// even in two programs started at the same moment. A sender without a
// usable domain (none, or one with characters a domain cannot hold) gets
// "localhost", so the header stays well-formed whatever the account holds.
std::string MakeMessageId(std::string_view senderAddress);

// The domain MakeMessageId uses for a sender address.
std::string MessageIdDomain(std::string_view senderAddress);

} // namespace postello
