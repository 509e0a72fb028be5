#include "ui/TSpellLineChecker.h"

#include "ui/TSpellHighlighter.h"

#include <QCoreApplication>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QMenu>
#include <QTextCharFormat>

namespace postello {

TSpellLineChecker* TSpellLineChecker::Attach(QLineEdit* edit, std::shared_ptr<TSpellChecker> checker) {
  return new TSpellLineChecker(edit, std::move(checker));
}

TSpellLineChecker::TSpellLineChecker(QLineEdit* edit, std::shared_ptr<TSpellChecker> checker)
    : QObject(edit->window()), m_edit(edit), m_checker(std::move(checker)) {
  m_delay.setSingleShot(true);
  m_delay.setInterval(kDelayMs);
  connect(&m_delay, &QTimer::timeout, this, &TSpellLineChecker::Recheck);
  connect(edit, &QLineEdit::textChanged, &m_delay, qOverload<>(&QTimer::start));
  edit->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(edit, &QWidget::customContextMenuRequested, this, &TSpellLineChecker::ShowMenu);
  m_delay.start();
}

TSpellLineChecker::~TSpellLineChecker() {
  // The field outlives its checker when another dictionary is chosen; one
  // gone with its window needs nothing.
  if (!m_edit) return;
  Show({});
  m_edit->setContextMenuPolicy(Qt::DefaultContextMenu);
}

void TSpellLineChecker::Recheck() {
  if (m_edit) Show(m_checker->Check(TSpellHighlighter::CheckedBytes(m_edit->text())));
}

void TSpellLineChecker::Show(const std::vector<TMisspelling>& wrong) {
  QTextCharFormat format;
  format.setUnderlineStyle(QTextCharFormat::SpellCheckUnderline);
  format.setUnderlineColor(Qt::red);
  // The event's formats count from the caret.
  const int caret = m_edit->cursorPosition();
  QList<QInputMethodEvent::Attribute> attributes;
  for (const TMisspelling& m : wrong)
    attributes.append({QInputMethodEvent::TextFormat, static_cast<int>(m.pos) - caret, static_cast<int>(m.len), format});
  QInputMethodEvent event(QString(), attributes);
  QCoreApplication::sendEvent(m_edit, &event);
}

void TSpellLineChecker::ShowMenu(const QPoint& pos) {
  QMenu* menu = m_edit->createStandardContextMenu();
  menu->setAttribute(Qt::WA_DeleteOnClose);
  const QString text = m_edit->text();
  const int at = m_edit->cursorPositionAt(pos);
  for (const TMisspelling& m : m_checker->Check(TSpellHighlighter::CheckedBytes(text))) {
    const int start = static_cast<int>(m.pos), length = static_cast<int>(m.len);
    if (at < start || at > start + length) continue;
    QPointer<QLineEdit> edit = m_edit;
    TSpellHighlighter::AddSpellActions(
        menu, m_checker, TSpellHighlighter::CheckedBytes(text.mid(start, length)),
        [edit, start, length](const QString& replacement) {
          if (!edit) return;
          edit->setSelection(start, length);
          edit->insert(replacement);  // one step of undo
        },
        [self = QPointer<TSpellLineChecker>(this)] {
          if (!self) return;
          self->Recheck();
          emit self->WordAdded();
        });
    break;
  }
  menu->popup(m_edit->mapToGlobal(pos));
}

} // namespace postello
