#pragma once
// The HTML previews in a browser engine (Qt WebEngine), so that tables,
// borders, colours and fonts look as in the recipients' mail programs.
// Each preview keeps its rich-text viewer: it is what shows when the
// engine is not built in, not turned on, or cannot start.
#include <QString>
#include <QUrl>

class QTextBrowser;

namespace postello {

// Turns the engine on for previews made from now on. The program does so
// at its start (see PrepareWebEngine); window tests stay on the rich-text
// viewers unless they ask.
void EnableWebPreview(bool on);
bool WebPreviewEnabled();
// True when this build has the engine.
bool WebPreviewBuiltIn();

// Before QApplication exists: what the engine needs then. As root the
// engine's sandbox cannot start, so it is turned off for this process.
void PrepareWebEngine();

// Shows html (base: where relative and file references resolve) in
// browser and, when the engine is on, in a browser-engine view put in the
// browser's place. Remote content (http, https, every scheme but file and
// data) and scripts are blocked there.
void ShowPreviewHtml(QTextBrowser* browser, const QString& html, const QUrl& base);

} // namespace postello
