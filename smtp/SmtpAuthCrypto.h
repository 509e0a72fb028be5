#pragma once
// The digests and the Base64 form SMTP authentication needs. MD5 and
// HMAC-MD5 come from OpenSSL.
#include <string>
#include <string_view>

namespace postello {

// The 16-byte MD5 digest of data.
std::string SmtpMd5(std::string_view data);

// HMAC-MD5 (RFC 2104, block size 64; a longer key is first replaced by its
// MD5): the 16-byte digest.
std::string SmtpHmacMd5(std::string_view key, std::string_view message);

// Bytes as lower-case hexadecimal digits, two per byte.
std::string SmtpHexLower(std::string_view bytes);

// Decodes Base64. Characters outside the alphabet (blanks, line ends) are
// skipped and decoding stops at the first "="; an incomplete last group
// yields the whole bytes it holds. Never throws: a server's challenge is
// whatever it sent.
std::string SmtpBase64Decode(std::string_view text);

// The CRAM-MD5 answer of RFC 2195 before its Base64 encoding: user, one
// blank, and HMAC-MD5 (password, challenge) in lower-case hex.
std::string SmtpCramMd5Response(std::string_view user, std::string_view password,
                                std::string_view challenge);

} // namespace postello
