#include "smtp/SmtpAuthCrypto.h"

#include <openssl/evp.h>
#include <openssl/hmac.h>

#include <stdexcept>

namespace postello {

std::string SmtpMd5(std::string_view data) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  if (EVP_Digest(data.data(), data.size(), digest, &size, EVP_md5(), nullptr) != 1)
    throw std::runtime_error("MD5 steht in OpenSSL nicht zur Verf\xFCgung");
  return std::string(reinterpret_cast<char*>(digest), size);
}

std::string SmtpHmacMd5(std::string_view key, std::string_view message) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  // An empty key still needs a valid pointer.
  static constexpr unsigned char kNoKey = 0;
  const void* keyData = key.empty() ? &kNoKey : static_cast<const void*>(key.data());
  if (HMAC(EVP_md5(), keyData, static_cast<int>(key.size()),
           reinterpret_cast<const unsigned char*>(message.data()), message.size(),
           digest, &size) == nullptr)
    throw std::runtime_error("HMAC-MD5 steht in OpenSSL nicht zur Verf\xFCgung");
  return std::string(reinterpret_cast<char*>(digest), size);
}

std::string SmtpHexLower(std::string_view bytes) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  out.reserve(bytes.size() * 2);
  for (unsigned char b : bytes) {
    out += kHex[b >> 4];
    out += kHex[b & 15];
  }
  return out;
}

std::string SmtpBase64Decode(std::string_view text) {
  std::string out;
  unsigned acc = 0;
  int bits = 0;
  for (char c : text) {
    int v;
    if (c >= 'A' && c <= 'Z') v = c - 'A';
    else if (c >= 'a' && c <= 'z') v = c - 'a' + 26;
    else if (c >= '0' && c <= '9') v = c - '0' + 52;
    else if (c == '+') v = 62;
    else if (c == '/') v = 63;
    else if (c == '=') break;
    else continue;
    acc = (acc << 6 | static_cast<unsigned>(v)) & 0xFFFFFF;
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      out += static_cast<char>((acc >> bits) & 0xFF);
    }
  }
  return out;
}

std::string SmtpCramMd5Response(std::string_view user, std::string_view password,
                                std::string_view challenge) {
  std::string out(user);
  out += ' ';
  out += SmtpHexLower(SmtpHmacMd5(password, challenge));
  return out;
}

} // namespace postello
