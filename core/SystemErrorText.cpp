#include "core/SystemErrorText.h"

#include <cerrno>
#include <cstring>

namespace postello {

std::string SystemErrorText(int err) {
  switch (err) {
  case ENOENT: return "Die Datei oder der Ordner existiert nicht";
  case EACCES:
  case EPERM: return "Zugriff verweigert";
  case EISDIR: return "Das ist ein Ordner, keine Datei";
  case ENOTDIR: return "Ein Teil des Pfades ist kein Ordner";
  case ENAMETOOLONG: return "Der Name ist zu lang";
  case ENOSPC: return "Auf dem Datentr\xE4ger ist kein Platz mehr";
  case EDQUOT: return "Das Speicherkontingent ist ersch\xF6pft";
  case EROFS: return "Das Dateisystem ist schreibgesch\xFCtzt";
  case EIO: return "Ein- oder Ausgabefehler des Datentr\xE4gers";
  case EMFILE:
  case ENFILE: return "Zu viele ge\xF6" "ffnete Dateien";
  case ELOOP: return "Zu viele symbolische Verkn\xFCpfungen im Pfad";
  case EEXIST: return "Die Datei existiert bereits";
  case EBUSY:
  case ETXTBSY: return "Die Datei wird gerade benutzt";
  case EFBIG: return "Die Datei ist zu gro\xDF";
  case ENOMEM: return "Nicht genug Arbeitsspeicher";
  case EXDEV: return "Datei und Ziel liegen auf verschiedenen Dateisystemen";
  default: return "Systemfehler " + std::to_string(err) + ": " + std::strerror(err);
  }
}

} // namespace postello
