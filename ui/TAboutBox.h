#pragma once
#include "ui_TAboutBox.h"

#include "core/ProgramVersion.h"

#include <QDialog>
#include <QLayout>

namespace postello {

// The "Info" box: a few lines about the program and one OK button.
class TAboutBox : public QDialog {
  Q_OBJECT
public:
  explicit TAboutBox(QWidget* parent = nullptr) : QDialog(parent) {
    ui.setupUi(this);
    ui.ProductName->setText(QStringLiteral("<b>Omvex Postello %1</b>").arg(QLatin1String(kProgramVersion)));
    // A fixed box: title and close button only, its size that of its text.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    // The description in lines of a readable length, not squeezed.
    ui.Comments->setMinimumWidth(44 * fontMetrics().averageCharWidth());
    layout()->setSizeConstraint(QLayout::SetFixedSize);
  }
  Ui::TAboutBox ui;
};

} // namespace postello
