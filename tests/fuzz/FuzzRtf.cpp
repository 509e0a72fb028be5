// libFuzzer entry point for the RTF reader: any bytes must give a document
// or an error, without a crash, and what was read must be writable again.
#include "editor/RtfReader.h"
#include "editor/RtfWriter.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const postello::TRtfReadResult r = postello::ReadRtf(input);
  for (const postello::TParagraph& p : r.Document.Paragraphs) {
    for (const postello::TTextRun& run : p.Runs) {
      // No line break ever reaches a paragraph's text.
      if (run.Text.find_first_of("\r\n") != std::string::npos) __builtin_trap();
    }
  }
  // What was read writes and reads back without an error.
  if (!postello::ReadRtf(postello::WriteRtf(r.Document)).Error.empty()) __builtin_trap();
  return 0;
}
