#pragma once
class QCoreApplication;

namespace postello {

// Makes Qt's own texts German whatever the desktop's language: the buttons
// of message boxes ("Ja", "Nein"), file dialogs, context menus. Returns
// false when Qt's German translations are not installed.
bool InstallGermanQt(QCoreApplication& app);

} // namespace postello
