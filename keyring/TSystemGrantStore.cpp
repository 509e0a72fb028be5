#include "keyring/TSystemGrantStore.h"

#include "core/SafeFile.h"
#include "send/OAuthText.h"

#include <cstdlib>
#include <cstring>
#include <stdexcept>

#ifdef POSTELLO_KEYRING
#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <qt6keychain/keychain.h>
#endif

namespace postello {

namespace {

#ifdef POSTELLO_KEYRING

constexpr const char* kService = "Postello";

enum class TOutcome { Done, NotFound, Unreachable };

// QtKeychain jobs report through signals; the calls here wait for them in
// a local event loop. A program without a QCoreApplication (the command
// line) gets one for the duration of the call.
class TAppGuard {
public:
  TAppGuard() {
    if (QCoreApplication::instance() == nullptr) FApp = std::make_unique<QCoreApplication>(FArgc, FArgv);
  }

private:
  int FArgc = 1;
  char FName[16] = "postello";
  char* FArgv[2] = {FName, nullptr};
  std::unique_ptr<QCoreApplication> FApp;
};

TOutcome RunJob(QKeychain::Job& job) {
  job.setAutoDelete(false);
  QEventLoop loop;
  bool finished = false;
  QObject::connect(&job, &QKeychain::Job::finished, &loop, [&] {
    finished = true;
    loop.quit();
  });
  // A keyring that never answers must not hang a send run.
  QTimer::singleShot(15000, &loop, &QEventLoop::quit);
  job.start();
  if (!finished) loop.exec();
  if (!finished) return TOutcome::Unreachable;
  switch (job.error()) {
    case QKeychain::NoError: return TOutcome::Done;
    case QKeychain::EntryNotFound: return TOutcome::NotFound;
    default: return TOutcome::Unreachable;
  }
}

#endif

bool KeyringWanted() {
#ifdef POSTELLO_KEYRING
  const char* env = std::getenv("POSTELLO_KEYRING");
  return env == nullptr || std::strcmp(env, "0") != 0;
#else
  return false;
#endif
}

} // namespace

TSystemGrantStore::TSystemGrantStore(const std::string& dir)
    : FFile(dir), FIndexPath(dir + IndexName), FKeyring(KeyringWanted()) {}

bool TSystemGrantStore::Listed(const std::string& key) const {
  std::ifstream in;
  std::uint64_t size = 0;
  if (!OpenStateFile(FIndexPath, in, size) || size > TFileGrantStore::MaxFileSize) return false;
  for (std::string line; std::getline(in, line);)
    if (line == PercentEncode(key)) return true;
  return false;
}

void TSystemGrantStore::List(const std::string& key, bool listed) {
  std::string text;
  std::ifstream in;
  std::uint64_t size = 0;
  if (OpenStateFile(FIndexPath, in, size) && size <= TFileGrantStore::MaxFileSize)
    for (std::string line; std::getline(in, line);)
      if (!line.empty() && line != PercentEncode(key)) text += line + "\n";
  if (listed) text += PercentEncode(key) + "\n";
  SaveFileSafely(FIndexPath, text, 0600);
}

TSystemGrantStore::~TSystemGrantStore() = default;

std::string TSystemGrantStore::Where() const {
  return FKeyring ? std::string("Schl\xFCsselbund des Systems") : FFile.Where();
}

std::optional<TOAuthGrant> TSystemGrantStore::Load(const std::string& key) {
#ifdef POSTELLO_KEYRING
  if (FKeyring && Listed(key)) {
    TAppGuard app;
    QKeychain::ReadPasswordJob job(QString::fromLatin1(kService));
    job.setKey(QString::fromUtf8(key.data(), static_cast<qsizetype>(key.size())));
    const TOutcome outcome = RunJob(job);
    if (outcome == TOutcome::Done) {
      const QByteArray data = job.binaryData();
      if (std::optional<TOAuthGrant> g = TOAuthGrant::Decode(std::string_view(data.constData(), data.size())))
        return g;
    } else if (outcome == TOutcome::Unreachable) {
      FKeyring = false;
    }
  }
#endif
  return FFile.Load(key);
}

void TSystemGrantStore::Save(const TOAuthGrant& grant) {
#ifdef POSTELLO_KEYRING
  if (FKeyring) {
    TAppGuard app;
    QKeychain::WritePasswordJob job(QString::fromLatin1(kService));
    const std::string key = grant.Key();
    job.setKey(QString::fromUtf8(key.data(), static_cast<qsizetype>(key.size())));
    const std::string bytes = grant.Encode();
    job.setBinaryData(QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())));
    if (RunJob(job) == TOutcome::Done) {
      List(key, true);
      // An older copy in the file would outlive a sign-out otherwise.
      FFile.Remove(key);
      return;
    }
    FKeyring = false;
  }
#endif
  FFile.Save(grant);
}

bool TSystemGrantStore::Remove(const std::string& key) {
  bool removed = false;
#ifdef POSTELLO_KEYRING
  if (FKeyring && Listed(key)) {
    TAppGuard app;
    QKeychain::DeletePasswordJob job(QString::fromLatin1(kService));
    job.setKey(QString::fromUtf8(key.data(), static_cast<qsizetype>(key.size())));
    const TOutcome outcome = RunJob(job);
    if (outcome == TOutcome::Done || outcome == TOutcome::NotFound) {
      removed = outcome == TOutcome::Done;
      List(key, false);
    } else {
      FKeyring = false;
    }
  }
#endif
  // Both places, so a grant cannot stay behind in either.
  return FFile.Remove(key) || removed;
}

} // namespace postello
