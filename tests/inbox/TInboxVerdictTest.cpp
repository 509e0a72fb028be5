#include "inbox/TInboxVerdict.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

using namespace postello;

namespace {

std::string Sample(const std::string& name) {
  std::ifstream in(std::string(POSTELLO_TEST_DATA) + "/inbox/" + name, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

} // namespace

TEST(InboxVerdictTest, Samples) {
  for (const char* name : {"postfix-unknown-user.eml", "postfix-mailbox-full.eml", "postfix-utf8-unknown-user.eml",
                           "postfix-utf8-mailbox-full.eml", "postfix-utf8-address.eml"}) {
    const TInboxVerdict v = ClassifyMessage(Sample(name), {});
    std::cout << name << " " << InboxKindText(v.Kind) << " reason=" << v.Reason << " id=" << v.ReturnedMessageId;
    for (auto& r : v.Recipients) std::cout << " [" << r.Address << "|" << r.Action << "|" << r.Status << "|" << r.Diagnostic << "]";
    for (auto& r : v.ReturnedTo) std::cout << " to=" << r;
    std::cout << "\n";
  }
}
