// A dBASE table file from any bytes, opened and used the way the address
// pages use it. The first byte holds the switches (read-only, filter,
// edits), the rest is the file. Errors the table reports (TDbfError) are
// expected; anything else that escapes, a crash, a leak or undefined
// behaviour is a finding. Checked besides:
// - opening for reading only writes nothing, not even at closing;
// - the moves agree with the view (Next walks exactly ViewCount records);
// - an appended record is there after reopening, with the count in the
//   header right.
#include "addressdb/AddressDb.h"
#include "addressdb/TDbf.h"
#include "tests/fuzz/FuzzSupport.h"

#include <fstream>
#include <iterator>

using namespace postello;
using postello::fuzz::Check;

namespace {

std::string ReadBack(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// Walks the whole view once and reads every field; returns the records seen.
std::uint32_t Walk(TDbf& t) {
  std::uint32_t seen = 0;
  for (t.First(); !t.Eof() && seen < 100000; t.Next()) {
    for (int i = 0; i < t.FieldCount(); ++i) (void)t.AsString(i);
    ++seen;
    if (t.RecNo() == 0) break;
  }
  return seen;
}

void Use(TDbf& t, std::uint8_t flags) {
  if (flags & 2) {
    t.SetOnFilterRecord(MakeTextFilter([] { return std::string("A"); }));
    t.SetFiltered(true);
  }
  const std::uint32_t view = t.ViewCount();
  const std::uint32_t seen = Walk(t);
  Check(view == 0 ? seen == 0 : seen == view, "Next does not walk the view");
  t.Last();
  t.Prior();
  t.MoveBy(-3);
  t.MoveBy(2);
  t.MoveTo(view / 2);
  (void)t.Position();
  if (t.FieldCount() > 0) (void)t.ValueAt(view / 3, t.FieldCount() - 1);
  (void)t.IsEmpty();
  if (t.ReadOnly()) return;

  if (flags & 4) {
    t.Edit();
    for (int i = 0; i < t.FieldCount(); ++i) {
      try {
        t.SetAsString(i, "Neu \xE4" "1");
      } catch (const TDbfError&) {
        // a numeric, date or memo field refuses the text
      }
    }
    t.Post();
  }
  if (flags & 8) {
    const std::uint32_t before = t.RecordCount();
    t.Append();
    if (t.FieldCount() > 0) {
      try {
        t.SetAsString(0, "x@example.org");
      } catch (const TDbfError&) {
      }
    }
    t.Post();
    Check(t.RecordCount() == before + 1, "append does not add one record");
  }
  if (flags & 16) {
    t.First();
    if (t.RecNo() != 0) t.Delete();
  }
  t.Refresh();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::uint8_t flags = data[0];
  const std::string path = postello::fuzz::ScratchDir() + "t.dbf";
  const std::string file(postello::fuzz::AsText(data + 1, size - 1));
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(file.data(), static_cast<std::streamsize>(file.size()));
  }
  const bool readOnly = flags & 1;
  std::uint32_t records = 0;
  bool appended = false;
  {
    TDbf t;
    t.SetFileName(path);
    t.SetAutoCreate(false);
    t.SetReadOnly(readOnly);
    try {
      t.Open();
    } catch (const TDbfError&) {
      Check(ReadBack(path) == file, "a refused file was changed");
      return 0;
    }
    try {
      Use(t, flags);
      records = t.RecordCount();
      appended = (flags & 8) && !t.ReadOnly();
      t.Close();
    } catch (const TDbfError&) {
      return 0;
    }
  }
  if (readOnly) Check(ReadBack(path) == file, "reading only changed the file");
  if (appended) {
    TDbf t;
    t.SetFileName(path);
    t.SetAutoCreate(false);
    t.SetReadOnly(true);
    t.Open();
    Check(t.RecordCount() == records, "the appended record is lost after reopening");
    const std::string back = ReadBack(path);
    const std::uint32_t header = static_cast<std::uint8_t>(back[4]) | (static_cast<std::uint8_t>(back[5]) << 8) |
                                 (static_cast<std::uint8_t>(back[6]) << 16) |
                                 (static_cast<std::uint32_t>(static_cast<std::uint8_t>(back[7])) << 24);
    Check(header == records, "the header counts the records wrongly after a change");
  }
  return 0;
}
