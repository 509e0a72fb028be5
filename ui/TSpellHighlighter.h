#pragma once
// Underlines unknown words of a text editor with a red wavy line and puts
// suggestions and "Zum Wörterbuch hinzufügen" at the top of its context
// menu. Qt re-highlights only the blocks that changed, so typing costs the
// check of one paragraph.
#include "editor/TSpellChecker.h"

#include <QSyntaxHighlighter>

#include <memory>

class QPlainTextEdit;
class QTextEdit;

namespace postello {

class TSpellHighlighter : public QSyntaxHighlighter {
  Q_OBJECT
public:
  TSpellHighlighter(QTextDocument* doc, std::shared_ptr<TSpellChecker> checker);

  // Highlights edit's document and extends its context menu.
  static TSpellHighlighter* Attach(QTextEdit* edit, std::shared_ptr<TSpellChecker> checker);
  static TSpellHighlighter* Attach(QPlainTextEdit* edit, std::shared_ptr<TSpellChecker> checker);

protected:
  void highlightBlock(const QString& text) override;

private:
  std::shared_ptr<TSpellChecker> m_checker;
};

} // namespace postello
