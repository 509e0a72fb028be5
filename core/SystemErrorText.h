#pragma once
// The reason a file operation failed, for the end of a German message.
#include <string>

namespace postello {

// German text (Windows-1252, no final full stop) of a system error number,
// e.g. ENOENT "Die Datei oder der Ordner existiert nicht". An error number
// without a German text gives the system's own text after "Systemfehler N: ",
// so the user still sees a reason.
std::string SystemErrorText(int err);

} // namespace postello
