#pragma once
// State files for command-line runs that send: the address table and the
// options and account every such run starts from.
#include "core/TKontoStore.h"
#include "core/TOptions.h"
#include "send/SendRunSupport.h"

#include <filesystem>
#include <string>
#include <vector>

namespace postello::test {

// The e-mail address of person i in the table of WritePeople.
inline std::string Address(int i) { return "p" + std::to_string(i) + "@example.org"; }

// The address table dir/adr.dbf with persons 1..n: Address(i), name Ni,
// first name Vi.
inline void WritePeople(const std::filesystem::path& dir, int n) {
  std::vector<TAddress> records;
  for (int i = 1; i <= n; ++i)
    records.push_back({Address(i), "N" + std::to_string(i), "V" + std::to_string(i), "", "", ""});
  TDbf table;
  MakeAddressTable(table, (dir / "adr.dbf").string(), records);
  table.Close();
}

// Options (table adr.dbf, e-mail field 0) and one account for the server
// port on this machine, written into dir.
inline void WriteOptionsAndAccount(const std::filesystem::path& dir, int port, bool bcc = false,
                                   int bccCount = 20) {
  TOptions options;
  options.Bcc = bcc;
  options.BccCount = bccCount;
  options.DatabaseFile = (dir / "adr.dbf").string();
  WriteBytes((dir / "options.dat").string(), options.Encode());
  TKontoList konten;
  TKontoRec* k = konten.Add();
  k->Absender = "Versand";
  k->Email = "versand@example.org";
  k->Antwort = "antwort@example.org";
  k->Server = "127.0.0.1:" + std::to_string(port);
  TKontoStore::Save(dir.string() + "/", konten);
}

} // namespace postello::test
