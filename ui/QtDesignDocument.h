#pragma once
// The design document between the editor's QTextDocument and the model the
// core converts and stores.
//
// One text block is one paragraph; a block inside a list is a paragraph
// with a bullet. Every run is written with its full format (face, point
// size, colour, bold, italic, underline), so nothing depends on the
// document's default font; reading resolves what a block leaves unset
// (typed text, pasted text) against the document's default font and black.
#include "editor/TDesignDocument.h"

#include <QColor>
#include <QTextCharFormat>

class QTextDocument;

namespace postello {

// 0x00BBGGRR and back; the top byte (a system colour mark) is dropped.
QColor ColorToQ(std::uint32_t color);
std::uint32_t ColorFromQ(const QColor& color);

// The Qt format of a run.
QTextCharFormat CharFormatToQ(const TCharFormat& format);

// Replaces the content of doc by the model, background included. The
// undo history is cleared: loading is not an edit.
void DesignToQt(const TDesignDocument& model, QTextDocument& doc);

// The model of doc. A document holding only one empty block (Qt's empty
// document) has no paragraphs. A line separator (Shift+Enter) starts a new
// paragraph with the same alignment and bullet, since a paragraph holds no
// line break; embedded objects are left out; characters outside
// Windows-1252 become '?'.
TDesignDocument DesignFromQt(const QTextDocument& doc);

} // namespace postello
