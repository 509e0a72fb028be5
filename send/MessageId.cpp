#include "send/MessageId.h"

#include "smtp/TSMTPSend.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <random>

namespace postello {
namespace {

bool IsDomainChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '.';
}

bool IsDomainLiteralChar(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F') || c == ':' ||
         c == '.';
}

bool UsableDomain(std::string_view d) {
  if (d.empty()) return false;
  if (d.front() == '[') {
    if (d.size() < 3 || d.back() != ']') return false;
    for (char c : d.substr(1, d.size() - 2))
      if (!IsDomainLiteralChar(c)) return false;
    return true;
  }
  if (d.front() == '.' || d.back() == '.' || d.find("..") != std::string_view::npos) return false;
  for (char c : d)
    if (!IsDomainChar(c)) return false;
  return true;
}

std::uint64_t ProcessRandom() {
  static const std::uint64_t value = [] {
    std::random_device device;
    return (static_cast<std::uint64_t>(device()) << 32) ^ device();
  }();
  return value;
}

} // namespace

std::string MessageIdDomain(std::string_view senderAddress) {
  const std::string address = ExtractAddress(senderAddress);
  const std::size_t at = address.rfind('@');
  if (at != std::string::npos) {
    const std::string domain = address.substr(at + 1);
    if (UsableDomain(domain)) return domain;
  }
  return "localhost";
}

std::string MakeMessageId(std::string_view senderAddress) {
  static std::atomic<std::uint64_t> counter{0};
  const auto micros = std::chrono::duration_cast<std::chrono::microseconds>(
                          std::chrono::system_clock::now().time_since_epoch())
                          .count();
  char local[80];
  std::snprintf(local, sizeof local, "%llx.%016llx.%llx", static_cast<unsigned long long>(micros),
                static_cast<unsigned long long>(ProcessRandom()),
                static_cast<unsigned long long>(++counter));
  return "<" + std::string(local) + "@" + MessageIdDomain(senderAddress) + ">";
}

} // namespace postello
