// Message-ID values: syntax, the sender's domain, uniqueness.
#include "send/MessageId.h"

#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <thread>
#include <vector>

using namespace postello;

TEST(MessageId, DomainComesFromTheSenderAddress) {
  EXPECT_EQ(MessageIdDomain("info@example.org"), "example.org");
  EXPECT_EQ(MessageIdDomain("Firma <info@mail.example.co.uk>"), "mail.example.co.uk");
  EXPECT_EQ(MessageIdDomain("  <a@b-c.de>  "), "b-c.de");
  EXPECT_EQ(MessageIdDomain("\"x@y\"@example.net"), "example.net");
  EXPECT_EQ(MessageIdDomain("a@[192.0.2.1]"), "[192.0.2.1]");
}

TEST(MessageId, UnusableDomainsFallBackToLocalhost) {
  for (const char* sender : {"", "keinklammeraffe", "a@", "a@ex ample.org",
                             "a@exa\r\nmple.org", "a@.example.org", "a@example..org", "a@example.org.",
                             "a@[1.2.3.4", "a@[<script>]", "a@b\xE4r.de", "a@exa\"mple.org"}) {
    EXPECT_EQ(MessageIdDomain(sender), "localhost") << sender;
  }
}

TEST(MessageId, HasTheSyntaxOfAMessageId) {
  const std::regex form(R"(<[0-9a-f]+\.[0-9a-f]{16}\.[0-9a-f]+@example\.org>)");
  for (int i = 0; i < 5; ++i) {
    const std::string id = MakeMessageId("Versand <versand@example.org>");
    EXPECT_TRUE(std::regex_match(id, form)) << id;
  }
  EXPECT_TRUE(std::regex_match(MakeMessageId("a@b c"), std::regex(R"(<[0-9a-f.]+@localhost>)")));
}

TEST(MessageId, NeverRepeatsAcrossThreads) {
  constexpr int kThreads = 4, kEach = 5000;
  std::vector<std::vector<std::string>> made(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&made, t] {
      for (int i = 0; i < kEach; ++i) made[t].push_back(MakeMessageId("a@example.org"));
    });
  for (auto& t : threads) t.join();
  std::set<std::string> all;
  for (const auto& v : made) all.insert(v.begin(), v.end());
  EXPECT_EQ(all.size(), static_cast<std::size_t>(kThreads * kEach));
}
