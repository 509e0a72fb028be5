#include "TWebPreview.h"

#include <QBoxLayout>
#include <QCoreApplication>
#include <QLabel>
#include <QLayout>
#include <QTextBrowser>
#include <QVariant>

#ifdef POSTELLO_WEBENGINE
#include <QWebEngineProfile>
#include <QWebEnginePage>
#include <QWebEngineSettings>
#include <QWebEngineUrlRequestInterceptor>
#include <QWebEngineView>
#endif

#include <cstdlib>
#include <unistd.h>

namespace postello {
namespace {

bool g_enabled = false;

#ifdef POSTELLO_WEBENGINE
// Nothing leaves the machine from a preview: a tracking pixel would tell
// the sender's server that a draft was looked at, and a script could do
// anything a page can.
class TLocalOnlyInterceptor : public QWebEngineUrlRequestInterceptor {
public:
  using QWebEngineUrlRequestInterceptor::QWebEngineUrlRequestInterceptor;
  void interceptRequest(QWebEngineUrlRequestInfo& info) override {
    const QString scheme = info.requestUrl().scheme();
    if (scheme != QLatin1String("file") && scheme != QLatin1String("data")) info.block(true);
  }
};

QWebEngineProfile* PreviewProfile() {
  // An off-the-record profile: no cache or cookies written to disk.
  static QWebEngineProfile* profile = [] {
    auto* p = new QWebEngineProfile;
    p->setUrlRequestInterceptor(new TLocalOnlyInterceptor(p));
    p->setHttpCacheType(QWebEngineProfile::MemoryHttpCache);
    p->setPersistentCookiesPolicy(QWebEngineProfile::NoPersistentCookies);
    return p;
  }();
  return profile;
}

// Falls back to the rich-text viewer, with a note saying why.
void FallBack(QTextBrowser* browser, QWidget* web) {
  web->hide();
  browser->show();
  auto* note = browser->parentWidget()->findChild<QLabel*>(QStringLiteral("WebPreviewNote"));
  if (note) note->show();
}

QWebEngineView* WebViewFor(QTextBrowser* browser) {
  if (auto* view = browser->property("postelloWebView").value<QWebEngineView*>()) return view;
  QWidget* parent = browser->parentWidget();
  QLayout* layout = parent ? parent->layout() : nullptr;
  if (!layout) return nullptr;
  auto* view = new QWebEngineView(parent);
  auto* page = new QWebEnginePage(PreviewProfile(), view);
  QWebEngineSettings* s = page->settings();
  s->setAttribute(QWebEngineSettings::JavascriptEnabled, false);
  s->setAttribute(QWebEngineSettings::AutoLoadImages, true);
  s->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, false);
  s->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, true);
  s->setAttribute(QWebEngineSettings::PluginsEnabled, false);
  view->setPage(page);
  auto* note = new QLabel(QStringLiteral("Einfache Vorschau: Die Browser-Engine (Qt WebEngine) konnte nicht "
                                         "starten; Tabellen, Rahmen und Schriften k\u00F6nnen beim Empf\u00E4nger "
                                         "anders aussehen."),
                          parent);
  note->setObjectName(QStringLiteral("WebPreviewNote"));
  note->setWordWrap(true);
  note->hide();
  const int at = layout->indexOf(browser);
  if (auto* box = qobject_cast<QBoxLayout*>(layout)) {
    box->insertWidget(at, note);
    box->insertWidget(at + 2, view);
  } else {
    layout->addWidget(note);
    layout->addWidget(view);
  }
  browser->hide();
  QObject::connect(page, &QWebEnginePage::renderProcessTerminated, view,
                   [browser, view](QWebEnginePage::RenderProcessTerminationStatus status, int) {
                     if (status != QWebEnginePage::NormalTerminationStatus) FallBack(browser, view);
                   });
  browser->setProperty("postelloWebView", QVariant::fromValue(view));
  return view;
}
#endif

} // namespace

void EnableWebPreview(bool on) { g_enabled = on && WebPreviewBuiltIn(); }
bool WebPreviewEnabled() { return g_enabled; }

bool WebPreviewBuiltIn() {
#ifdef POSTELLO_WEBENGINE
  return true;
#else
  return false;
#endif
}

void PrepareWebEngine() {
  if (::geteuid() == 0) ::setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 0);
#ifdef POSTELLO_WEBENGINE
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
#endif
}

void ShowPreviewHtml(QTextBrowser* browser, const QString& html, const QUrl& base) {
  browser->document()->setBaseUrl(base);
  browser->setHtml(html);
#ifdef POSTELLO_WEBENGINE
  if (!g_enabled) return;
  if (QWebEngineView* view = WebViewFor(browser)) {
    // setHtml takes at most 2 MB; a larger page stays in the rich-text viewer.
    if (html.size() > 1'500'000) {
      FallBack(browser, view);
      return;
    }
    view->setHtml(html, base);
  }
#endif
}

} // namespace postello
