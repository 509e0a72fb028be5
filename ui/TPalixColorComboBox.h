#pragma once
#include "editor/TPalixColorModel.h"

#include <QComboBox>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace postello {

// A colour choice drawn by the box itself: sixteen fixed colours, each shown
// as a swatch beside its name, and a seventeenth entry "More..." that asks
// for any colour and shows whichever colour is current when it is not one of
// the sixteen.
//
// The rules (entries, names, the colour value and its "#RRGGBB" form, which
// entry is selected) are TPalixColorModel's; the box draws the model, shows
// its selected entry and asks the colour question. Changing the value from
// code never raises Change; only a choice of the user does.
class TPalixColorComboBox : public QComboBox {
  Q_OBJECT
public:
  // The custom entry, always the last one.
  static constexpr int CustomEntry = TPalixColorModel::CustomEntry;

  // Asks the user for a colour, starting from current (a colour value);
  // nothing when the user cancels.
  using TColorChooser = std::function<std::optional<std::uint32_t>(std::uint32_t current, QWidget* parent)>;

  explicit TPalixColorComboBox(QWidget* parent = nullptr);

  std::uint32_t ColorValue() const { return FModel.ColorValue(); }
  // Selects the fixed entry of v, else puts v into the custom entry.
  void SetColorValue(std::uint32_t v);

  const std::string& HTMLcolor() const { return FModel.HTMLcolor(); }
  // Takes "#RRGGBB" in either case (empty means black); a text that cannot
  // be read changes nothing.
  void SetHTMLcolor(const std::string& text);

  TPalixLanguage Language() const { return FModel.Language(); }
  // Only changes the names shown.
  void SetLanguage(TPalixLanguage language);

  // The current value as red, green and blue (a system colour resolved).
  std::uint32_t RgbValue() const;

  // The colour an entry shows: the fixed colour of entries 0 to 15, the
  // current value resolved to red, green and blue for the custom entry.
  std::uint32_t EntryColor(int entry) const;

  // Installs the colour question used by every box (empty restores the
  // colour dialog) and returns the previous one, so tests can answer it.
  static TColorChooser SetColorChooser(TColorChooser chooser);

  // Wide enough for the swatch and the longest name of the language.
  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

signals:
  // The user has chosen an entry (also after a cancelled colour question).
  void Change();

protected:
  void paintEvent(QPaintEvent* event) override;

private:
  void EntryActivated(int entry);
  void ShowNames();
  void ShowSelection();

  TPalixColorModel FModel;
};

} // namespace postello
