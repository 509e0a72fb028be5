#pragma once
// The frame of the side files that keep, beside a file the older program
// reads, the options that file has no room for (kontooptionen.dat beside
// konten.dat, mailoptionen.dat beside mails.dat).
//
// Only records whose options differ from the defaults have an entry. An
// entry names its record by position and by a key taken from the record
// (fields the older program keeps as they are): the position is right
// whenever this program saved both files; the key finds the record again
// after the older program deleted or added records. An entry whose record
// cannot be found is dropped at the next save.
//
// Layout (integers 32-bit little-endian): the four-byte magic, the entry
// count, then per entry the record's position and the entry's own bytes
// (its key, then the options).
//
// TFormat describes one file:
//   using TList = the list of records (TDynaArray), TRec its record;
//   using TEntry = what Read gives: key and options of one entry;
//   Magic, MaxSize (a larger file is not ours), Mode (permission bits of
//   a new file), Singular and Plural (nouns of the damage message);
//   HasOptions(rec), Write(writer, rec) (key and options), Read(reader),
//   SameKey(rec, entry), Apply(entry, rec) (sets the record's options).
#include "core/EInOutError.h"
#include "core/TBinReader.h"
#include "core/TBinWriter.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace postello {

// The parts that do not depend on the record type.
struct TSideFileFrame {
  // The magic, then the entry count; throws EInOutError for another magic
  // or a negative count.
  static std::int32_t ReadHeader(TBinReader& f, std::string_view magic);
  // Reads path (missing: nothing) and hands its bytes to decode. "" when
  // all is well or there is no file; otherwise keeps a copy of the damaged
  // file and returns the German description naming the nouns.
  static std::string Open(const std::string& path, std::uint64_t maxSize, std::string_view singular,
                          std::string_view plural, const std::function<void(std::string_view)>& decode);
  // Writes encode()'s bytes safely to path, unless no record has options
  // (any false) and there is no file yet. Throws ESaveError.
  static void Save(const std::string& path, bool any, const std::function<std::string()>& encode, unsigned mode);
};

template <class TFormat> class TSideFile {
public:
  using TList = typename TFormat::TList;
  using TEntry = typename TFormat::TEntry;

  static std::string Encode(const TList& list) {
    TBinWriter f;
    f.WriteBytes(TFormat::Magic);
    std::int32_t count = 0;
    for (const auto& rec : list) count += TFormat::HasOptions(rec) ? 1 : 0;
    f.WriteInt32(count);
    std::int32_t index = 0;
    for (const auto& rec : list) {
      if (TFormat::HasOptions(rec)) {
        f.WriteInt32(index);
        TFormat::Write(f, rec);
      }
      ++index;
    }
    return f.Data();
  }

  // Sets the options of the records the entries name; others keep theirs.
  // The file is read whole before anything is set, so a damaged file
  // (EInOutError) changes no record.
  static void Decode(std::string_view bytes, TList& list) {
    TBinReader f(bytes);
    const std::int32_t count = TSideFileFrame::ReadHeader(f, TFormat::Magic);
    struct TPlaced {
      std::int32_t Index;
      TEntry Entry;
    };
    std::vector<TPlaced> entries;
    for (std::int32_t n = 0; n < count; ++n) {
      const std::int32_t index = f.ReadInt32();
      entries.push_back({index, TFormat::Read(f)});
    }
    std::vector<bool> taken(list.Count(), false);
    const auto matches = [&](std::uint32_t i, const TEntry& e) { return !taken[i] && TFormat::SameKey(list[i], e); };
    for (const TPlaced& p : entries) {
      std::int64_t found = -1;
      if (p.Index >= 0 && static_cast<std::uint32_t>(p.Index) < list.Count() &&
          matches(static_cast<std::uint32_t>(p.Index), p.Entry))
        found = p.Index;
      for (std::uint32_t i = 0; found < 0 && i < list.Count(); ++i)
        if (matches(i, p.Entry)) found = i;
      if (found < 0) continue;
      taken[static_cast<std::size_t>(found)] = true;
      TFormat::Apply(p.Entry, list[static_cast<std::uint32_t>(found)]);
    }
  }

  static std::string Open(const std::string& path, TList& list) {
    return TSideFileFrame::Open(path, TFormat::MaxSize, TFormat::Singular, TFormat::Plural,
                                [&list](std::string_view bytes) { Decode(bytes, list); });
  }

  static void Save(const std::string& path, const TList& list) {
    bool any = false;
    for (const auto& rec : list) any = any || TFormat::HasOptions(rec);
    TSideFileFrame::Save(path, any, [&list] { return Encode(list); }, TFormat::Mode);
  }
};

} // namespace postello
