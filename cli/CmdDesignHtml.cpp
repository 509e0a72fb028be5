// postello-cli design-html: the HTML a design mail with an RTF file as its
// document would carry.
#include "cli/TCliCommand.h"

#include "core/Cp1252.h"
#include "editor/DesignHtml.h"
#include "editor/RtfReader.h"

#include <fstream>
#include <ostream>

namespace postello {
namespace {

// Larger files are refused rather than read whole; a mail's design
// document is far smaller.
constexpr std::uintmax_t kMaxRtfBytes = 64u * 1024 * 1024;

int RunDesignHtml(TCliContext& ctx) {
  const std::string path = ctx.Args.Positional().front();
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    ctx.Err << "Die Datei \"" << path << "\" kann nicht gelesen werden.\n";
    return kExitRefused;
  }
  in.seekg(0, std::ios::end);
  const std::streamoff size = in.tellg();
  in.seekg(0, std::ios::beg);
  if (size < 0) {
    ctx.Err << "Die Datei \"" << path << "\" kann nicht gelesen werden.\n";
    return kExitRefused;
  }
  if (static_cast<std::uintmax_t>(size) > kMaxRtfBytes) {
    ctx.Err << "Die Datei \"" << path << "\" ist mit " << size << " Bytes zu gro\xC3\x9F f\xC3\xBCr ein Design-Dokument (h\xC3\xB6"
            << "chstens " << kMaxRtfBytes << " Bytes).\n";
    return kExitRefused;
  }
  std::string rtf(static_cast<std::size_t>(size), '\0');
  if (size > 0 && !in.read(rtf.data(), size)) {
    ctx.Err << "Die Datei \"" << path << "\" kann nicht gelesen werden.\n";
    return kExitRefused;
  }
  const TRtfReadResult r = ReadRtf(rtf);
  if (!r.Error.empty()) {
    ctx.Err << "Die Datei \"" << path << "\" ist als RTF nicht lesbar: " << CliText(r.Error) << "\n";
    return kExitRefused;
  }
  const bool newsletter = ctx.Args.Has("--newsletter");
  for (const std::string& line : BuildDesignHtml(r.Document, 0xFFFFFF, newsletter, TNewsDesign{})) {
    ctx.Out << Cp1252ToUtf8(line) << "\n";
  }
  return kExitOk;
}

const TCliRegistrar reg({"design-html",
                         "liest eine RTF-Datei als Design-Dokument und gibt das HTML aus, das eine Design-Mail damit "
                         "tr\xE4gt (wei\xDF" "er Hintergrund)",
                         "FILE.rtf",
                         1,
                         1,
                         {{"--newsletter", "", "mit dem Newsletter-Rahmen in der Voreinstellung des Design-Dialogs"}},
                         RunDesignHtml});

} // namespace
} // namespace postello
