// Digests and Base64 for SMTP authentication, against published vectors.
#include "core/Base64.h"
#include "smtp/SmtpAuthCrypto.h"

#include <gtest/gtest.h>

using namespace postello;

TEST(SmtpAuthCrypto, CramMd5MatchesTheWorkedExampleOfRfc2195) {
  const std::string challenge =
      SmtpBase64Decode("PDE4OTYuNjk3MTcwOTUyQHBvc3RvZmZpY2UucmVzdG9uLm1jaS5uZXQ+");
  EXPECT_EQ(challenge, "<1896.697170952@postoffice.reston.mci.net>");
  const std::string answer = SmtpCramMd5Response("tim", "tanstaaftanstaaf", challenge);
  EXPECT_EQ(answer, "tim b913a602c7eda7a495b4e6e7334d3890");
  EXPECT_EQ(Base64Encode(answer), "dGltIGI5MTNhNjAyYzdlZGE3YTQ5NWI0ZTZlNzMzNGQzODkw");
}

TEST(SmtpAuthCrypto, Md5MatchesRfc1321) {
  EXPECT_EQ(SmtpHexLower(SmtpMd5("")), "d41d8cd98f00b204e9800998ecf8427e");
  EXPECT_EQ(SmtpHexLower(SmtpMd5("abc")), "900150983cd24fb0d6963f7d28e17f72");
  EXPECT_EQ(SmtpHexLower(SmtpMd5("12345678901234567890123456789012345678901234567890123456789012345678901234567890")),
            "57edf4a22be3c955ac49da2e2107b67a");
}

TEST(SmtpAuthCrypto, HmacMd5MatchesRfc2202IncludingKeysLongerThanABlock) {
  EXPECT_EQ(SmtpHexLower(SmtpHmacMd5(std::string(16, '\x0b'), "Hi There")),
            "9294727a3638bb1c13f48ef8158bfc9d");
  EXPECT_EQ(SmtpHexLower(SmtpHmacMd5("Jefe", "what do ya want for nothing?")),
            "750c783e6ab0b503eaa86e310a5db738");
  EXPECT_EQ(SmtpHexLower(SmtpHmacMd5(std::string(16, '\xaa'), std::string(50, '\xdd'))),
            "56be34521d144c88dbb8c733f0e8b3f6");
  EXPECT_EQ(SmtpHexLower(SmtpHmacMd5(std::string(80, '\xaa'),
                                     "Test Using Larger Than Block-Size Key - Hash Key First")),
            "6b1ab7fe4bd7bf8f0b62e6ce61b9d0cd");
  // Exactly one block: used as it is, not hashed first.
  EXPECT_NE(SmtpHmacMd5(std::string(64, 'k'), "m"), SmtpHmacMd5(SmtpMd5(std::string(64, 'k')), "m"));
  EXPECT_EQ(SmtpHmacMd5(std::string(65, 'k'), "m"), SmtpHmacMd5(SmtpMd5(std::string(65, 'k')), "m"));
  EXPECT_EQ(SmtpHexLower(SmtpHmacMd5("", "")), "74e6f7298a9c2d168935f58c001bad88");
}

TEST(SmtpAuthCrypto, Base64OfShortInputsAndEveryByte) {
  EXPECT_EQ(Base64Encode(""), "");
  EXPECT_EQ(Base64Encode("f"), "Zg==");
  EXPECT_EQ(Base64Encode("fo"), "Zm8=");
  EXPECT_EQ(Base64Encode("foo"), "Zm9v");
  EXPECT_EQ(Base64Encode("foob"), "Zm9vYg==");
  EXPECT_EQ(Base64Encode("\xff\xfe\xfd"), "//79");
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  for (size_t n = 0; n <= all.size(); n += 17)
    EXPECT_EQ(SmtpBase64Decode(Base64Encode(all.substr(0, n))), all.substr(0, n)) << n;
  EXPECT_EQ(SmtpBase64Decode(Base64Encode(all)), all);
}

TEST(SmtpAuthCrypto, Base64DecodeToleratesWhatServersSend) {
  EXPECT_EQ(SmtpBase64Decode("Zm9v\r\nYmFy"), "foobar");
  EXPECT_EQ(SmtpBase64Decode(" Zm9vYg== trailing"), "foob");
  EXPECT_EQ(SmtpBase64Decode("Zm9vYg"), "foob");
  EXPECT_EQ(SmtpBase64Decode("Z"), "");
  EXPECT_EQ(SmtpBase64Decode("!!!"), "");
  EXPECT_EQ(SmtpBase64Decode(""), "");
}
