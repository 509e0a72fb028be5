// Speed of the MIME composition: base64 against OpenSSL's encoder on the
// same 10 MB, and the composition of one message of the send run (both
// texts, a 20 KB picture, a 1 MB attachment).
#include "mime/Encodings.h"
#include "mime/MakeBoundary.h"
#include "mime/ZIzorAvarivi2000.h"

#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include <map>
#include <random>
#include <sstream>
#include <vector>

using namespace postello;

namespace {

const std::string& RandomData(std::size_t n, unsigned seed) {
  static std::map<std::pair<std::size_t, unsigned>, std::string> cache;
  auto& data = cache[{n, seed}];
  if (data.empty()) {
    std::mt19937 gen(seed);
    data.resize(n);
    for (char& c : data) c = static_cast<char>(gen() & 0xFF);
  }
  return data;
}

constexpr std::size_t kTenMB = 10 * 1024 * 1024;

void BM_EncodeBase64Stream_10MB(benchmark::State& state) {
  const std::string& data = RandomData(kTenMB, 1);
  std::string out;
  for (auto _ : state) {
    EncodeBase64Stream(data, out);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(data.size()));
}
BENCHMARK(BM_EncodeBase64Stream_10MB)->Unit(benchmark::kMillisecond);

void BM_EncodeBase64Stream_FromIstream_10MB(benchmark::State& state) {
  const std::string& data = RandomData(kTenMB, 1);
  std::istringstream stream(data);
  std::string out;
  for (auto _ : state) {
    EncodeBase64Stream(stream, out);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(data.size()));
}
BENCHMARK(BM_EncodeBase64Stream_FromIstream_10MB)->Unit(benchmark::kMillisecond);

// OpenSSL's block encoder: one line without breaks, the fastest it offers.
void BM_OpenSSL_EVP_EncodeBlock_10MB(benchmark::State& state) {
  const std::string& data = RandomData(kTenMB, 1);
  std::vector<unsigned char> out((data.size() + 2) / 3 * 4 + 1);
  for (auto _ : state) {
    int n = EVP_EncodeBlock(out.data(), reinterpret_cast<const unsigned char*>(data.data()),
                            static_cast<int>(data.size()));
    benchmark::DoNotOptimize(n);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(data.size()));
}
BENCHMARK(BM_OpenSSL_EVP_EncodeBlock_10MB)->Unit(benchmark::kMillisecond);

struct TExampleMail {
  std::string Plain;
  std::string Html;
  std::string Picture = RandomData(20 * 1024, 2);
  std::string Attachment = RandomData(1024 * 1024, 3);
  TExampleMail() {
    for (int i = 0; i < 60; ++i) Plain += "Sehr geehrte Frau M\xFCller, hier ist Zeile " + std::to_string(i) + ".\r\n";
    Html = "<html><body>";
    for (int i = 0; i < 60; ++i) Html += "<p>Sehr geehrte Frau M&uuml;ller, Zeile " + std::to_string(i) + ".</p>\r\n";
    Html += "<img src=\"cid:LOGO.GIF\"></body></html>";
  }
};

void Begin(ZIzorAvarivi2000& msg, const TExampleMail& mail) {
  msg.ClearMessage();
  msg.SetSender("Vertrieb", "s@example.org");
  msg.SetReplyAddress("Vertrieb", "a@example.org");
  msg.SetSubjectLine("Angebot Dezember");
  msg.SetSendDate({2026, 12, 8, 2, 0, 33});
  msg.ToRecipients.RemoveAll();
  msg.ToRecipients.AddAddress("", "r@example.org");
  msg.BccRecipients.RemoveAll();
  msg.SetHtmlBody(mail.Html);
  msg.SetPlainBody(mail.Plain);
}

// One whole message as the send run builds it, attachments encoded anew.
void BM_Message_EncodeAttachmentsEachTime(benchmark::State& state) {
  static const TExampleMail mail;
  ZIzorAvarivi2000 msg;
  msg.ApplyFormSettings();
  SeedBoundaries(1);
  for (auto _ : state) {
    Begin(msg, mail);
    msg.AddAttachmentStream(mail.Picture, "logo.gif", "", true);
    msg.AddAttachmentStream(mail.Attachment, "preise.pdf", "", false);
    msg.ComposeBody();
    benchmark::DoNotOptimize(msg.EncodedBody.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(mail.Attachment.size() + mail.Picture.size()));
}
BENCHMARK(BM_Message_EncodeAttachmentsEachTime)->Unit(benchmark::kMillisecond);

// The same with the attachments read and encoded once for the whole run.
void BM_Message_AttachmentsEncodedOnce(benchmark::State& state) {
  static const TExampleMail mail;
  TAttachmentBytes picture{mail.Picture, etBase64, {}};
  EncodeBase64Stream(picture.Decoded, picture.Encoded);
  TAttachmentBytes attachment{mail.Attachment, etBase64, {}};
  EncodeBase64Stream(attachment.Decoded, attachment.Encoded);
  ZIzorAvarivi2000 msg;
  msg.ApplyFormSettings();
  SeedBoundaries(1);
  for (auto _ : state) {
    Begin(msg, mail);
    msg.AddAttachmentBytes(picture, "logo.gif", "", true);
    msg.AddAttachmentBytes(attachment, "preise.pdf", "", false);
    msg.ComposeBody();
    benchmark::DoNotOptimize(msg.EncodedBody.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(mail.Attachment.size() + mail.Picture.size()));
}
BENCHMARK(BM_Message_AttachmentsEncodedOnce)->Unit(benchmark::kMillisecond);

// ComposeBody alone: rendering the finished tree into the message text.
void BM_ComposeBody(benchmark::State& state) {
  static const TExampleMail mail;
  ZIzorAvarivi2000 msg;
  msg.ApplyFormSettings();
  SeedBoundaries(1);
  for (auto _ : state) {
    state.PauseTiming();
    Begin(msg, mail);
    msg.AddAttachmentStream(mail.Picture, "logo.gif", "", true);
    msg.AddAttachmentStream(mail.Attachment, "preise.pdf", "", false);
    state.ResumeTiming();
    msg.ComposeBody();
    benchmark::DoNotOptimize(msg.EncodedBody.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(msg.EncodedBody.size()));
}
BENCHMARK(BM_ComposeBody)->Unit(benchmark::kMicrosecond);

} // namespace
