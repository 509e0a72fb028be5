#pragma once
#include "ui_TNewsFontDialog.h"

#include <QDialog>

#include <cstdint>
#include <functional>
#include <string>

namespace postello {

// The font question of the newsletter bands: face, size in points, colour
// and the style bits bold, italic, underline and strike-out. A face the
// machine lacks is kept as typed, so a design made elsewhere survives being
// opened here.
class TNewsFontDialog : public QDialog {
  Q_OBJECT
public:
  struct TBandFont {
    std::string Name;        // face, Windows-1252
    std::int32_t Size = 10;  // points
    std::uint32_t Color = 0; // 0x00BBGGRR
    std::uint8_t Style = 0;  // fsBold | fsItalic | fsUnderline | fsStrikeOut

    bool operator==(const TBandFont&) const = default;
  };

  // Asks the user to change font; false (font untouched) when cancelled.
  using TFontChooser = std::function<bool(TBandFont& font, QWidget* parent)>;

  explicit TNewsFontDialog(QWidget* parent = nullptr);

  // Fills the controls. A size outside 1 to 999 points is shown at the
  // nearest end.
  void SetFont(const TBandFont& font);
  TBandFont Font() const;

  // The colour behind the sample text, so it is shown as in its band.
  void SetSampleBackground(std::uint32_t color);

  // Asks through the installed chooser, else through this dialog.
  static bool Execute(TBandFont& font, QWidget* parent, std::uint32_t sampleBackground = 0xFFFFFF);

  // Installs the font question (empty restores this dialog) and returns the
  // previous one, so tests can answer it.
  static TFontChooser SetFontChooser(TFontChooser chooser);

  Ui::TNewsFontDialog ui;

private:
  void ShowSample();

  std::uint32_t FSampleBackground = 0xFFFFFF;
  std::uint8_t FOtherStyle = 0;
  std::string FInitialName; // kept when the face box is left empty
};

} // namespace postello
