#pragma once
// Reads RTF (as rich edit controls, LibreOffice Writer and Word write it)
// into a design document.
#include "editor/TDesignDocument.h"

#include <string>
#include <string_view>

namespace postello {

struct TRtfReadResult {
  TDesignDocument Document;   // everything read up to the error, if any
  std::string Error;          // German message; empty when the whole input was read
};

// Never throws for bad input: a damaged or hostile file gives the document
// read so far and an error text. Memory stays bounded by the input size.
TRtfReadResult ReadRtf(std::string_view rtf);

} // namespace postello
