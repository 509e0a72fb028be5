// Reading address files: 100,000 rows of 8 columns as CSV (target < 1 s)
// and as .xlsx written by openpyxl (target < 3 s, and at least 10 times
// faster than bench/address_rows_openpyxl.py read). The files stay in
// /tmp/postello-bench/.
#include "addressdb/TAddressRows.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

using namespace postello;

namespace {

const std::filesystem::path kDir = "/tmp/postello-bench";
constexpr int kRows = 100000;

std::string Csv() {
  const std::string path = (kDir / "address-rows-100000.csv").string();
  if (std::filesystem::exists(path)) return path;
  std::filesystem::create_directories(kDir);
  std::ofstream out(path, std::ios::binary);
  out << "\xEF\xBB\xBF" "E-Mail;Nachname;Vorname;Anrede;Firma;PLZ;Kunde seit;Umsatz\r\n";
  for (int i = 0; i < kRows; ++i)
    out << "kunde" << i << "@example.org;M\xC3\xBCller" << i % 997 << ";Eva;" << (i % 2 ? "Frau" : "Herr")
        << ";\"Schmidt; Gro\xC3\x9F & Partner " << i % 101 << "\";" << 10000 + i % 89999 << ";01.0"
        << 1 + i % 9 << "." << 1990 + i % 30 << ";" << i * 1.25 << "\r\n";
  return path;
}

std::string Xlsx() {
  const std::string path = (kDir / "address-rows-100000.xlsx").string();
  if (std::filesystem::exists(path)) return path;
  std::filesystem::create_directories(kDir);
  const std::string command = "/usr/bin/python3 '" POSTELLO_SOURCE_DIR "/bench/address_rows_openpyxl.py' write '" +
                              path + "' " + std::to_string(kRows);
  if (std::system(command.c_str()) != 0) throw std::runtime_error("cannot run " + command);
  return path;
}

void ReadAll(benchmark::State& state, const std::string& path) {
  std::size_t cells = 0;
  for (auto _ : state) {
    auto source = OpenAddressRows(path);
    std::vector<std::string> row;
    cells = 0;
    while (source->Next(row)) cells += row.size();
  }
  state.counters["cells"] = static_cast<double>(cells);
}

void ReadCsv(benchmark::State& state) { ReadAll(state, Csv()); }
BENCHMARK(ReadCsv)->Unit(benchmark::kMillisecond);

void ReadXlsx(benchmark::State& state) { ReadAll(state, Xlsx()); }
BENCHMARK(ReadXlsx)->Unit(benchmark::kMillisecond);

} // namespace
