#pragma once
// The HTML a design mail carries, generated from its design document.
#include "editor/TDesignDocument.h"
#include "editor/TNewsDesign.h"

#include <cstdint>
#include <string>
#include <vector>

namespace postello {

// The whole generated HTML as lines (joined with CR LF when stored).
// backColor is the document background (DesignColor); the frame settings
// are read only when newsletter is true. Characters are copied unescaped,
// so placeholders and typed image tags reach the HTML as they are.
std::vector<std::string> BuildDesignHtml(const TDesignDocument& doc, std::uint32_t backColor,
                                         bool newsletter, const TNewsDesign& design);

// HTML font size "1" to "7" for a size in whole points.
std::string FontSizeToHtml(int points);

// Six upper-case hex digits, red first, of a 0x00BBGGRR colour.
std::string HtmlHex(std::uint32_t color);

} // namespace postello
