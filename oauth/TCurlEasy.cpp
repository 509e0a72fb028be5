#include "oauth/TCurlEasy.h"

#include <curl/curl.h>
#include <openssl/ssl.h>

namespace postello {

namespace {

struct TTransfer {
  const TCurlLimits* Limits;
  TCurlOutcome* Out;
  std::size_t HeadBytes = 0;
};

size_t OnBody(char* data, size_t size, size_t count, void* user) {
  auto* t = static_cast<TTransfer*>(user);
  const size_t n = size * count;
  if (t->Out->Body.size() + n > t->Limits->MaxBody) {
    t->Out->TooBig = true;
    return 0;  // anything but n ends the transfer
  }
  t->Out->Body.append(data, n);
  return n;
}

size_t OnHeader(char* /*data*/, size_t size, size_t count, void* user) {
  auto* t = static_cast<TTransfer*>(user);
  const size_t n = size * count;
  // Interim (1xx) answers arrive here too; an endless row of them is cut
  // off like any other answer that is too long.
  t->HeadBytes += n;
  if (t->HeadBytes > t->Limits->MaxHead) {
    t->Out->TooBig = true;
    return 0;
  }
  return n;
}

int OnProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  auto* t = static_cast<TTransfer*>(user);
  if (t->Limits->Cancel != nullptr && t->Limits->Cancel->load()) {
    t->Out->Cancelled = true;
    return 1;
  }
  return 0;
}

// The first fault OpenSSL finds in the peer's chain during the current
// transfer, which runs on this thread.
thread_local long tChainError = 0;

int OnVerify(int ok, X509_STORE_CTX* store) {
  if (!ok && tChainError == 0) tChainError = X509_STORE_CTX_get_error(store);
  return ok;
}

// The same trust as the SMTP connections: the system's store, which
// SSL_CERT_FILE and SSL_CERT_DIR can add to.
CURLcode OnSslContext(CURL*, void* ctx, void*) {
  SSL_CTX_set_verify(static_cast<SSL_CTX*>(ctx), SSL_VERIFY_PEER, OnVerify);
  return SSL_CTX_set_default_verify_paths(static_cast<SSL_CTX*>(ctx)) == 1 ? CURLE_OK : CURLE_SSL_CACERT_BADFILE;
}

bool GlobalInit() {
  static const bool ok = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
  return ok;
}

} // namespace

TCurlEasy::TCurlEasy() {
  if (GlobalInit()) FHandle = curl_easy_init();
}

TCurlEasy::~TCurlEasy() {
  if (FHandle != nullptr) curl_easy_cleanup(static_cast<CURL*>(FHandle));
}

TCurlOutcome TCurlEasy::PostForm(const std::string& url, const std::string& body, const TCurlLimits& limits) {
  TCurlOutcome out;
  CURL* h = static_cast<CURL*>(FHandle);
  if (h == nullptr) {
    out.Code = CURLE_FAILED_INIT;
    return out;
  }
  TTransfer transfer{&limits, &out};
  curl_slist* headers = nullptr;
  headers = curl_slist_append(headers, "Content-Type: application/x-www-form-urlencoded");
  headers = curl_slist_append(headers, "Accept: application/json");
  headers = curl_slist_append(headers, "Expect:");  // the body is small; no 100-continue round trip
  curl_easy_setopt(h, CURLOPT_URL, url.c_str());
  curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 0L);
  curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers);
  curl_easy_setopt(h, CURLOPT_POST, 1L);
  curl_easy_setopt(h, CURLOPT_POSTFIELDS, body.data());
  curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
  curl_easy_setopt(h, CURLOPT_USERAGENT, "Postello");
  curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, limits.TimeoutMs);
  curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, limits.TimeoutMs);
  curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 2L);
  curl_easy_setopt(h, CURLOPT_SSL_CTX_FUNCTION, OnSslContext);
  curl_easy_setopt(h, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(limits.MaxBody));
  curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, OnBody);
  curl_easy_setopt(h, CURLOPT_WRITEDATA, &transfer);
  curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, OnHeader);
  curl_easy_setopt(h, CURLOPT_HEADERDATA, &transfer);
  curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, OnProgress);
  curl_easy_setopt(h, CURLOPT_XFERINFODATA, &transfer);
  // Left alone, curl takes https_proxy, all_proxy and no_proxy from the
  // environment; "" switches that off.
  if (!limits.MayUseProxy) curl_easy_setopt(h, CURLOPT_PROXY, "");

  tChainError = 0;
  out.Code = curl_easy_perform(h);
  out.ChainError = tChainError;
  curl_slist_free_all(headers);
  curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &out.Status);
  curl_easy_getinfo(h, CURLINFO_HTTP_CONNECTCODE, &out.ProxyStatus);
  curl_easy_getinfo(h, CURLINFO_OS_ERRNO, &out.OsError);
  if (out.Code == CURLE_FILESIZE_EXCEEDED) out.TooBig = true;
  return out;
}

} // namespace postello
