#pragma once
// Writes a design document as rich-edit style RTF (Windows-1252).
#include "editor/TDesignDocument.h"

#include <string>

namespace postello {

// The background colour is not part of the RTF; it is stored beside it.
std::string WriteRtf(const TDesignDocument& doc);

} // namespace postello
