#pragma once
// The file and colour questions of the mail editor, behind hooks that tests
// can answer (the real dialogs are modal and wait for a user).
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <optional>

class QWidget;

namespace postello {

class TEditorDialogs {
public:
  // One file filter: the text the user sees and the patterns it stands for
  // ("*.jpg *.gif").
  struct TFilter {
    QString Label;
    QString Patterns;
  };

  // An open-file question for existing files.
  struct TFileQuestion {
    QList<TFilter> Filters;  // empty: every file
    QString DefaultSuffix;   // without the dot; empty for none
    bool Multiple = false;   // several files may be chosen
  };

  // Answers a file question with the chosen paths (empty: cancelled).
  using TFileChooser = std::function<QStringList(const TFileQuestion& question, QWidget* parent)>;
  // Answers a colour question (current is 0x00BBGGRR); nothing: cancelled.
  using TColorChooser = std::function<std::optional<std::uint32_t>(std::uint32_t current, QWidget* parent)>;

  static QStringList OpenFiles(const TFileQuestion& question, QWidget* parent);
  static std::optional<std::uint32_t> ChooseColor(std::uint32_t current, QWidget* parent);

  // Install hooks (empty restores the real dialogs); each returns the
  // previous one.
  static TFileChooser SetFileChooser(TFileChooser chooser);
  static TColorChooser SetColorChooser(TColorChooser chooser);
};

} // namespace postello
