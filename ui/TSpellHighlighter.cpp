#include "ui/TSpellHighlighter.h"

#include "core/Cp1252.h"
#include "core/SafeFile.h"
#include "core/TMessageSink.h"
#include "ui/QtText.h"

#include <QMenu>
#include <QPointer>
#include <QPlainTextEdit>
#include <QTextEdit>

namespace postello {

namespace {

// The word under pos in its block as a cursor selecting it, or a cursor
// without selection when pos is on no unknown word.
QTextCursor UnknownWordAt(TSpellChecker& checker, const QTextCursor& at) {
  const QTextBlock block = at.block();
  const int inBlock = at.position() - block.position();
  const std::string bytes = TSpellHighlighter::CheckedBytes(block.text());
  for (const TMisspelling& m : checker.Check(bytes)) {
    if (inBlock >= static_cast<int>(m.pos) && inBlock <= static_cast<int>(m.pos + m.len)) {
      QTextCursor c(block);
      c.setPosition(block.position() + static_cast<int>(m.pos));
      c.setPosition(block.position() + static_cast<int>(m.pos + m.len), QTextCursor::KeepAnchor);
      return c;
    }
  }
  return QTextCursor();
}

template <class Edit>
void AddMenu(Edit* edit, TSpellHighlighter* highlighter, std::shared_ptr<TSpellChecker> checker) {
  edit->setContextMenuPolicy(Qt::CustomContextMenu);
  // Bound to the highlighter: a highlighter replaced by another
  // dictionary's takes its menu entries with it.
  QObject::connect(edit, &QWidget::customContextMenuRequested, highlighter, [edit, highlighter, checker](const QPoint& pos) {
    QMenu* menu = edit->createStandardContextMenu(pos);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    const QTextCursor word = UnknownWordAt(*checker, edit->cursorForPosition(pos));
    if (word.hasSelection())
      TSpellHighlighter::AddSpellActions(
          menu, checker, TSpellHighlighter::CheckedBytes(word.selectedText()),
          [word](const QString& text) {
            QTextCursor c = word;
            c.insertText(text);
          },
          [h = QPointer<TSpellHighlighter>(highlighter)] {
            if (!h) return;
            h->rehighlight();
            emit h->WordAdded();
          });
    menu->popup(edit->viewport()->mapToGlobal(pos));
  });
}

} // namespace

TSpellHighlighter::TSpellHighlighter(QTextDocument* doc, std::shared_ptr<TSpellChecker> checker)
    : QSyntaxHighlighter(doc), m_checker(std::move(checker)) {}

TSpellHighlighter* TSpellHighlighter::Attach(QTextEdit* edit, std::shared_ptr<TSpellChecker> checker) {
  auto* h = new TSpellHighlighter(edit->document(), checker);
  AddMenu(edit, h, checker);
  return h;
}

TSpellHighlighter* TSpellHighlighter::Attach(QPlainTextEdit* edit, std::shared_ptr<TSpellChecker> checker) {
  auto* h = new TSpellHighlighter(edit->document(), checker);
  AddMenu(edit, h, checker);
  return h;
}

std::string TSpellHighlighter::CheckedBytes(const QString& text) {
  std::string out;
  out.reserve(static_cast<std::size_t>(text.size()));
  for (QChar ch : text) {
    const int b = ch.isSurrogate() ? -1 : UnicodeToCp1252(ch.unicode());
    out += b < 0 ? '?' : static_cast<char>(b);
  }
  return out;
}

void TSpellHighlighter::AddSpellActions(QMenu* menu, const std::shared_ptr<TSpellChecker>& checker,
                                        const std::string& word, std::function<void(const QString&)> replace,
                                        std::function<void()> added) {
  QAction* first = menu->actions().isEmpty() ? nullptr : menu->actions().first();
  const auto suggestions = checker->Suggestions(word);
  if (suggestions.empty()) {
    QAction* none = new QAction(QStringLiteral("(keine Vorschläge)"), menu);
    none->setEnabled(false);
    menu->insertAction(first, none);
  }
  for (const std::string& s : suggestions) {
    QAction* a = new QAction(ToQ(s), menu);
    QObject::connect(a, &QAction::triggered, menu, [replace, text = ToQ(s)] { replace(text); });
    menu->insertAction(first, a);
  }
  QAction* add = new QAction(QStringLiteral("Zum Wörterbuch hinzufügen"), menu);
  QObject::connect(add, &QAction::triggered, menu, [checker, word, added] {
    try {
      checker->AddToPersonalList(word);
    } catch (const ESaveError& e) {
      ShowError(e.what());  // the list on disk is as it was
      return;
    }
    added();
  });
  menu->insertAction(first, add);
  menu->insertSeparator(first);
}

void TSpellHighlighter::highlightBlock(const QString& text) {
  QTextCharFormat wrong;
  wrong.setUnderlineStyle(QTextCharFormat::SpellCheckUnderline);
  wrong.setUnderlineColor(Qt::red);
  for (const TMisspelling& m : m_checker->Check(TSpellHighlighter::CheckedBytes(text)))
    setFormat(static_cast<int>(m.pos), static_cast<int>(m.len), wrong);
}

} // namespace postello
