#include "keyring/TSystemGrantStore.h"

#include "core/SafeFile.h"
#include "oauth/OAuthText.h"

#include <cstdlib>
#include <cstring>
#include <stdexcept>

#ifdef POSTELLO_KEYRING
#include <QCoreApplication>
#include <QEventLoop>
#include <QSemaphore>
#include <QThread>
#include <QTimer>
#include <qt6keychain/keychain.h>
#endif

namespace postello {

namespace {

#ifdef POSTELLO_KEYRING

constexpr const char* kService = "Postello";

enum class TOutcome { Done, NotFound, Unreachable };

enum class TJobKind { Read, Write, Delete };

// How long a keyring call may take before it counts as unreachable: a
// keyring that never answers must not hang a send run.
constexpr int kKeyringWaitMs = 15000;

// The application object QtKeychain's jobs need. The command line has
// none; it gets one that lives as long as the process (QtKeychain keeps
// objects that must not outlive it).
QCoreApplication* App() {
  if (QCoreApplication* app = QCoreApplication::instance()) return app;
  static int argc = 1;
  static char name[] = "postello";
  static char* argv[] = {name, nullptr};
  static QCoreApplication* app = new QCoreApplication(argc, argv);
  return app;
}

// One keyring call on the keyring thread, waiting for the job's signal in
// a local event loop. The job deletes itself; what it found is
// copied out first.
TOutcome RunJob(TJobKind kind, const QString& key, QByteArray& data) {
  const QString service = QString::fromLatin1(kService);
  QKeychain::Job* job = nullptr;
  switch (kind) {
    case TJobKind::Read: job = new QKeychain::ReadPasswordJob(service); break;
    case TJobKind::Write: {
      auto* write = new QKeychain::WritePasswordJob(service);
      write->setBinaryData(data);
      job = write;
      break;
    }
    case TJobKind::Delete: job = new QKeychain::DeletePasswordJob(service); break;
  }
  job->setKey(key);
  QEventLoop loop;
  bool finished = false;
  QKeychain::Error error = QKeychain::OtherError;
  QObject::connect(job, &QKeychain::Job::finished, &loop, [&](QKeychain::Job* done) {
    finished = true;
    error = done->error();
    if (auto* read = qobject_cast<QKeychain::ReadPasswordJob*>(done)) data = read->binaryData();
    loop.quit();
  });
  QTimer::singleShot(kKeyringWaitMs, &loop, &QEventLoop::quit);
  job->start();
  if (!finished) loop.exec();
  if (!finished) {
    // Left to finish (and delete itself) whenever it does.
    QObject::disconnect(job, nullptr, &loop, nullptr);
    return TOutcome::Unreachable;
  }
  switch (error) {
    case QKeychain::NoError: return TOutcome::Done;
    case QKeychain::EntryNotFound: return TOutcome::NotFound;
    default: return TOutcome::Unreachable;
  }
}

// The thread all keyring calls run on, with its own event loop for the
// jobs' signals. One thread for every caller: QtKeychain's jobs are queued
// by an object that belongs to the thread it was first used on, and a
// caller's thread (a session's worker, or a main thread that waits for
// its workers) may not be running an event loop. Lives as long as the
// process.
QObject* KeyringThread() {
  static QObject* context = [] {
    App();
    auto* thread = new QThread;
    thread->setObjectName(QStringLiteral("Schluesselbund"));
    auto* object = new QObject;
    object->moveToThread(thread);
    thread->start();
    return object;
  }();
  return context;
}

// RunJob from any thread, waiting at most a little longer than the job may
// take; a call that does not come back counts as unreachable.
TOutcome KeyringCall(TJobKind kind, const std::string& key, std::string& data) {
  struct TShared {
    QSemaphore Done;
    TOutcome Outcome = TOutcome::Unreachable;
    QByteArray Data;
  };
  auto shared = std::make_shared<TShared>();
  shared->Data = QByteArray(data.data(), static_cast<qsizetype>(data.size()));
  const QString qkey = QString::fromUtf8(key.data(), static_cast<qsizetype>(key.size()));
  QMetaObject::invokeMethod(
      KeyringThread(),
      [shared, kind, qkey] {
        shared->Outcome = RunJob(kind, qkey, shared->Data);
        shared->Done.release();
      },
      Qt::QueuedConnection);
  if (!shared->Done.tryAcquire(1, kKeyringWaitMs + 2000)) return TOutcome::Unreachable;
  data.assign(shared->Data.constData(), static_cast<size_t>(shared->Data.size()));
  return shared->Outcome;
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
    std::string data;
    const TOutcome outcome = KeyringCall(TJobKind::Read, key, data);
    if (outcome == TOutcome::Done) {
      if (std::optional<TOAuthGrant> g = TOAuthGrant::Decode(data)) return g;
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
    const std::string key = grant.Key();
    std::string data = grant.Encode();
    if (KeyringCall(TJobKind::Write, key, data) == TOutcome::Done) {
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
    std::string data;
    const TOutcome outcome = KeyringCall(TJobKind::Delete, key, data);
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
