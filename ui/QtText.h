#pragma once
// The core keeps Windows-1252 bytes; widgets want QString.
#include "core/Cp1252.h"

#include <QString>
#include <string>

namespace postello {

inline QString ToQ(const std::string& cp1252) {
  return QString::fromStdString(Cp1252ToUtf8(cp1252));
}

inline std::string FromQ(const QString& text) {
  return Utf8ToCp1252(text.toStdString());
}

// Paths stay in the file system's encoding (UTF-8), not Windows-1252.
inline QString PathToQ(const std::string& path) { return QString::fromStdString(path); }
inline std::string PathFromQ(const QString& path) { return path.toStdString(); }

} // namespace postello
