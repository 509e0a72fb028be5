// The windows as the X11 window manager sees them: the title property
// (_NET_WM_NAME) of every window is exactly its caption, and the fixed
// dialogs announce a fixed size and no minimise or maximise. Run under a
// real X server (Xvfb) by x11_windows_test.sh; it reads the properties
// with xprop, as a window manager would.
#include "SetUpApplication.h"
#include "TAboutBox.h"
#include "TEditKontenForm.h"
#include "TMainForm.h"
#include "TNewsDesignForm.h"
#include "TWriteMailForm.h"
#include "support/ScriptedSink.h"

#include <QGuiApplication>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace postello;
using postello::test::ScriptedSink;

namespace {

// One property of a window as xprop prints it ("NAME(TYPE) = value").
QString Property(const QWidget& window, const char* name) {
  QProcess xprop;
  xprop.start(QStringLiteral("xprop"), {QStringLiteral("-id"), QString::number(window.winId()), QString::fromLatin1(name)});
  if (!xprop.waitForFinished(10000)) return {};
  return QString::fromUtf8(xprop.readAllStandardOutput()).trimmed();
}

// Shows the window and waits until the X server has its properties.
void Expose(QWidget& window) {
  window.show();
  QVERIFY(QTest::qWaitForWindowExposed(&window));
  QGuiApplication::sync();
}

void CheckTitle(QWidget& window, const QString& caption) {
  QCOMPARE(Property(window, "_NET_WM_NAME"), QStringLiteral("_NET_WM_NAME(UTF8_STRING) = \"%1\"").arg(caption));
  // The older property, for window managers that read only it (Latin-1
  // STRING when the caption allows, else UTF8_STRING).
  const QString oldName = Property(window, "WM_NAME");
  QVERIFY2(oldName == QStringLiteral("WM_NAME(STRING) = \"%1\"").arg(caption) ||
               oldName == QStringLiteral("WM_NAME(UTF8_STRING) = \"%1\"").arg(caption),
           qPrintable(oldName));
}

// Fixed size: the minimum and maximum size hints agree with the window's
// size. No minimise or maximise: the Motif function bits 8 and 16 are
// clear (and so is 1, "all functions").
void CheckFixedDialog(QWidget& window) {
  const QString hints = Property(window, "WM_NORMAL_HINTS");
  const QRegularExpression min(QStringLiteral("minimum size: (\\d+) by (\\d+)"));
  const QRegularExpression max(QStringLiteral("maximum size: (\\d+) by (\\d+)"));
  const auto minMatch = min.match(hints), maxMatch = max.match(hints);
  QVERIFY2(minMatch.hasMatch() && maxMatch.hasMatch(), qPrintable(hints));
  QCOMPARE(minMatch.captured(1), maxMatch.captured(1));
  QCOMPARE(minMatch.captured(2), maxMatch.captured(2));
  QCOMPARE(minMatch.captured(1).toInt(), window.width());

  const QString motif = Property(window, "_MOTIF_WM_HINTS");
  const QStringList fields = motif.section(QLatin1Char('='), 1).split(QLatin1Char(','), Qt::SkipEmptyParts);
  QVERIFY2(fields.size() >= 2, qPrintable(motif));
  bool ok = false;
  const uint functions = fields[1].trimmed().toUInt(&ok, 16);
  QVERIFY2(ok, qPrintable(motif));
  QVERIFY2((functions & (1u | 8u | 16u)) == 0, qPrintable(motif));
  QVERIFY2((functions & 32u) != 0, qPrintable(motif)); // it can be closed
}

// The window's smallest size, as the window manager is told, leaves room
// on an 800 x 600 screen for a frame (borders and a title bar of up to
// kFrameWidth x kFrameHeight).
void CheckFitsSmallScreen(QWidget& window) {
  constexpr int kFrameWidth = 8, kFrameHeight = 40;
  const QString hints = Property(window, "WM_NORMAL_HINTS");
  const QRegularExpressionMatch min = QRegularExpression(QStringLiteral("minimum size: (\\d+) by (\\d+)")).match(hints);
  QVERIFY2(min.hasMatch(), qPrintable(hints));
  QVERIFY2(min.captured(1).toInt() + kFrameWidth <= 800 && min.captured(2).toInt() + kFrameHeight <= 600, qPrintable(hints));
}

} // namespace

class X11WindowsTest : public QObject {
  Q_OBJECT

  QTemporaryDir m_dir;
  ScriptedSink m_sink;

private slots:
  void initTestCase() {
    if (QGuiApplication::platformName() != QLatin1String("xcb")) QSKIP("needs an X server (xcb platform)");
    SetUpApplication(*qApp);
    SetMessageSink(&m_sink);
  }
  void cleanupTestCase() { SetMessageSink(nullptr); }

  void mainWindowTitleIsItsCaptionAlone() {
    TMainState state;
    TMainForm form(state);
    form.FormCreate(m_dir.path().toStdString() + "/");
    Expose(form);
    CheckTitle(form, QStringLiteral("Omvex Postello 1.2"));
    CheckFitsSmallScreen(form);
    // The window class names the application with its version.
    QCOMPARE(Property(form, "WM_CLASS").section(QLatin1Char(','), 1).trimmed(), QStringLiteral("\"Postello 1.2\""));
  }

  void accountDialogIsFixedAndTitledByItsCaption() {
    TEditKontenForm dialog;
    Expose(dialog);
    CheckTitle(dialog, QStringLiteral("Absender Konto bearbeiten"));
    CheckFixedDialog(dialog);
  }

  void infoBoxIsFixedAndTitledByItsCaption() {
    TAboutBox box;
    Expose(box);
    CheckTitle(box, QStringLiteral("Info"));
    CheckFixedDialog(box);
  }

  void newsletterDialogIsFixedAndTitledByItsCaption() {
    TNewsDesignForm form;
    Expose(form);
    CheckTitle(form, QStringLiteral("Newsletter Design"));
    CheckFixedDialog(form);
  }

  void editorWindowTitleIsItsCaptionAlone() {
    TWriteMailForm form;
    Expose(form);
    CheckTitle(form, QStringLiteral("Mail schreiben"));
    CheckFitsSmallScreen(form);
  }
};

QTEST_MAIN(X11WindowsTest)
#include "X11WindowsTest.moc"
