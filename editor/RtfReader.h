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
//
// How RTF maps onto the model:
// - \par ends a paragraph; the last one opens none, and a document whose
//   only paragraph is empty is the empty document (a rich edit control
//   saves its empty document as one \par). An empty paragraph keeps its own
//   alignment and bullet flag.
// - \line (and a table's \cell) starts a new paragraph with the same
//   alignment and bullet flag: the model has no break inside a paragraph.
// - \u characters that Windows-1252 lacks become their fallback text, or
//   '?' when there is none; \'hh bytes are taken as Windows-1252.
// - The automatic colour (\cf0, no \cf, an empty colour table entry) is
//   black. \fs in half points is rounded to whole points, halves upwards.
// - Bullets come from \pn (rich edit) or from the list tables (\ls); a
//   numbered paragraph keeps its number ("1.\t") as text.
TRtfReadResult ReadRtf(std::string_view rtf);

} // namespace postello
