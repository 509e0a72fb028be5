#pragma once
// Underlines unknown words of a text editor with a red wavy line and puts
// suggestions and "Zum Wörterbuch hinzufügen" at the top of its context
// menu. Qt re-highlights only the blocks that changed, so typing costs the
// check of one paragraph.
#include "editor/TSpellChecker.h"

#include <QSyntaxHighlighter>

#include <functional>
#include <memory>
#include <string>

class QMenu;
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

  // The text as the checker takes it: one Windows-1252 byte per UTF-16
  // unit, so offsets in the bytes are offsets in text.
  static std::string CheckedBytes(const QString& text);
  // Puts the suggestions for word (Windows-1252) and "Zum Wörterbuch
  // hinzufügen" at the top of menu: replace gets the suggestion chosen,
  // added is called once the word is on the personal list.
  static void AddSpellActions(QMenu* menu, const std::shared_ptr<TSpellChecker>& checker, const std::string& word,
                              std::function<void(const QString&)> replace, std::function<void()> added);

signals:
  // A word went on the personal list from this editor's menu.
  void WordAdded();

protected:
  void highlightBlock(const QString& text) override;

private:
  std::shared_ptr<TSpellChecker> m_checker;
};

} // namespace postello
