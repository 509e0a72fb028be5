#pragma once
// Shared helpers of the window tests: a message sink that answers from a
// script, a temporary program folder, and a way to answer modal dialogs.
#include "support/ScriptedSink.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QTemporaryDir>
#include <QTimer>
#include <QFile>
#include <functional>
#include <string>
#include <vector>

namespace postello::test {


// Runs action on the next modal dialog as soon as it is shown.
inline void WhenModalShown(std::function<void(QDialog*)> action) {
  auto* timer = new QTimer;
  timer->setInterval(10);
  QObject::connect(timer, &QTimer::timeout, [timer, action] {
    if (auto* dlg = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
      timer->stop();
      timer->deleteLater();
      action(dlg);
    }
  });
  timer->start();
}

// Empties the test's program folder before each test.
inline void EmptyFolder(const QTemporaryDir& dir) {
  QDir(dir.path()).removeRecursively();
  QDir().mkpath(dir.path());
}

inline QByteArray FileBytes(const QString& path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return {};
  return f.readAll();
}

} // namespace postello::test
