#include "TEditorDialogs.h"

#include "QtDesignDocument.h"

#include <QColorDialog>
#include <QFileDialog>

#include <utility>

namespace postello {
namespace {

TEditorDialogs::TFileChooser& FileHook() {
  static TEditorDialogs::TFileChooser hook;
  return hook;
}

TEditorDialogs::TColorChooser& ColorHook() {
  static TEditorDialogs::TColorChooser hook;
  return hook;
}

QStringList AskFiles(const TEditorDialogs::TFileQuestion& q, QWidget* parent) {
  QFileDialog dlg(parent, QStringLiteral("Öffnen"));
  dlg.setAcceptMode(QFileDialog::AcceptOpen);
  // Qt's own dialog speaks the program's language on every desktop.
  dlg.setOption(QFileDialog::DontUseNativeDialog, true);
  dlg.setFileMode(q.Multiple ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
  if (!q.DefaultSuffix.isEmpty()) dlg.setDefaultSuffix(q.DefaultSuffix);
  if (!q.Filters.isEmpty()) {
    // The label is shown as it stands (its own parentheses included); the
    // patterns go in a last pair of parentheses that the dialog reads and
    // hides.
    QStringList filters;
    for (const TEditorDialogs::TFilter& f : q.Filters) filters << f.Label + QStringLiteral(" (") + f.Patterns + u')';
    dlg.setOption(QFileDialog::HideNameFilterDetails, true);
    dlg.setNameFilters(filters);
  }
  if (dlg.exec() != QDialog::Accepted) return {};
  return dlg.selectedFiles();
}

} // namespace

QStringList TEditorDialogs::OpenFiles(const TFileQuestion& question, QWidget* parent) {
  return FileHook() ? FileHook()(question, parent) : AskFiles(question, parent);
}

std::optional<std::uint32_t> TEditorDialogs::ChooseColor(std::uint32_t current, QWidget* parent) {
  if (ColorHook()) return ColorHook()(current, parent);
  // Any solid colour, with the custom colour part open from the start
  // (Qt's dialog always shows it).
  const QColor chosen = QColorDialog::getColor(ColorToQ(current), parent, QString(), QColorDialog::DontUseNativeDialog);
  if (!chosen.isValid()) return std::nullopt;
  return ColorFromQ(chosen);
}

TEditorDialogs::TFileChooser TEditorDialogs::SetFileChooser(TFileChooser chooser) {
  return std::exchange(FileHook(), std::move(chooser));
}

TEditorDialogs::TColorChooser TEditorDialogs::SetColorChooser(TColorChooser chooser) {
  return std::exchange(ColorHook(), std::move(chooser));
}

} // namespace postello
