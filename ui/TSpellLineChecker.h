#pragma once
// Underlines unknown words of a one-line text field (the subject) with a
// red wavy line, as TSpellHighlighter does in the editors, and puts the
// same suggestions and "Zum Wörterbuch hinzufügen" at the top of its
// context menu. A line edit has no highlighter: the underlines reach its
// text layout as the formats of an input method event without text. The
// check runs a moment after the last change, never on a keystroke.
#include "editor/TSpellChecker.h"

#include <QObject>
#include <QPointer>
#include <QTimer>

#include <memory>
#include <vector>

class QLineEdit;

namespace postello {

class TSpellLineChecker : public QObject {
  Q_OBJECT
public:
  static constexpr int kDelayMs = 250;

  // Checks edit from now on; owned by edit's window.
  static TSpellLineChecker* Attach(QLineEdit* edit, std::shared_ptr<TSpellChecker> checker);
  // Takes the underlines and the menu entries off the field.
  ~TSpellLineChecker() override;

  // Checks the text now and shows the result.
  void Recheck();

signals:
  // A word went on the personal list from the field's menu.
  void WordAdded();

private:
  TSpellLineChecker(QLineEdit* edit, std::shared_ptr<TSpellChecker> checker);
  void Show(const std::vector<TMisspelling>& wrong);
  void ShowMenu(const QPoint& pos);

  QPointer<QLineEdit> m_edit;
  std::shared_ptr<TSpellChecker> m_checker;
  QTimer m_delay;
};

} // namespace postello
