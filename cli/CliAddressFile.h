#pragma once
// What import and newdb --from share: reading the options that say how an
// address file is read, and printing the report.
#include "addressdb/AddressFileImport.h"
#include "cli/TCliCommand.h"

#include <cstddef>
#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

namespace postello {

// --sheet NUMMER (from 1). Throws TCliUsageError.
TAddressRowsOptions CliRowsOptions(const TCliArgs& args);

// --header ja|nein, else what the first rows look like (see
// PreviewAddressFile); firstRow and columns get the first row and the
// column count. Throws TCliUsageError and TAddressFileError.
bool CliHeaderRow(const TCliArgs& args, const std::string& file, const TAddressRowsOptions& options,
                  const std::vector<std::string>& fieldNames, std::vector<std::string>& firstRow, std::size_t& columns);

// The report, one line of output per line.
void PrintReport(std::ostream& out, const TImportReport& report, bool dryRun);

// The message for a file that cannot be read, naming it (Windows-1252).
std::string CliFileError(const std::string& file, const TAddressFileError& e);

// Runs work on the address file: a file that cannot be read, or any other
// failure, is told on standard error and gives kExitRefused; wrong
// arguments (TCliUsageError) go on to the caller. kExitOk otherwise.
int WorkOnAddressFile(TCliContext& ctx, const std::string& file, const std::function<void()>& work);

} // namespace postello
