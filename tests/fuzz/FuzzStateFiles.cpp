// mails.dat, konten.dat and options.dat from any bytes. The first byte
// chooses the file; the rest is its content. Besides crashes, leaks and
// undefined behaviour this checks:
// - reading from memory and reading from a stream give the same result;
// - what was loaded, saved and loaded again saves to the same bytes (a
//   save must never change what the next load sees).
#include "core/EInOutError.h"
#include "core/SafeFile.h"
#include "core/TBinReader.h"
#include "core/TKontoStore.h"
#include "core/TMailStore.h"
#include "core/TOptions.h"
#include "tests/fuzz/FuzzSupport.h"

#include <sstream>

using namespace postello;
using postello::fuzz::Check;

namespace {

void Mails(std::string_view bytes) {
  TMailList memory;
  std::size_t badMemory = 0;
  bool okMemory = true;
  try {
    TMailStore::Decode(bytes, memory, badMemory);
  } catch (const EInOutError&) {
    okMemory = false;
  }
  std::istringstream in{std::string(bytes)};
  TBinReader stream(in, bytes.size());
  TMailList streamed;
  std::size_t badStreamed = 0;
  bool okStreamed = true;
  try {
    TMailStore::Read(stream, streamed, badStreamed);
  } catch (const EInOutError&) {
    okStreamed = false;
  }
  const std::string once = TMailStore::Encode(memory);
  Check(okMemory == okStreamed && badMemory == badStreamed, "mails: stream and memory disagree");
  Check(once == TMailStore::Encode(streamed), "mails: stream and memory load different mails");

  TMailList again;
  std::size_t bad = 0;
  TMailStore::Decode(once, again, bad);  // must not throw: we wrote it
  Check(TMailStore::Encode(again) == once, "mails: a saved file loads to something else");
}

void Konten(std::string_view bytes) {
  TKontoList memory;
  bool okMemory = true;
  try {
    TKontoStore::Decode(bytes, memory);
  } catch (const EInOutError&) {
    okMemory = false;
  }
  std::istringstream in{std::string(bytes)};
  TBinReader stream(in, bytes.size());
  TKontoList streamed;
  bool okStreamed = true;
  try {
    TKontoStore::Read(stream, streamed);
  } catch (const EInOutError&) {
    okStreamed = false;
  }
  const std::string once = TKontoStore::Encode(memory);
  Check(okMemory == okStreamed && once == TKontoStore::Encode(streamed), "konten: stream and memory disagree");
  TKontoList again;
  TKontoStore::Decode(once, again);
  Check(TKontoStore::Encode(again) == once, "konten: a saved file loads to something else");
}

void Options(std::string_view bytes) {
  TOptions memory;
  try {
    memory.Decode(bytes);
  } catch (const EInOutError&) {
    return;  // what was applied before the damage stays; nothing to compare
  }
  std::string once;
  try {
    once = memory.Encode();
  } catch (const ESaveError&) {
    Check(false, "options: a loaded name cannot be saved again");
  }
  TOptions again;
  again.Decode(once);
  Check(again.DatabaseFile == memory.DatabaseFile || memory.DatabaseFile.find('\0') != std::string::npos,
        "options: the database name changes on saving");
  Check(again.Encode() == once, "options: a saved file loads to something else");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::string_view bytes = postello::fuzz::AsText(data + 1, size - 1);
  switch (data[0] % 3) {
    case 0: Mails(bytes); break;
    case 1: Konten(bytes); break;
    default: Options(bytes); break;
  }
  return 0;
}
