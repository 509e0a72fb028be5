#pragma once
// What the address commands of postello-cli share: options.dat and the
// address table it names.
#include "addressdb/TDbf.h"
#include "core/TOptions.h"

#include <stdexcept>
#include <string>

namespace postello {

// A state file or table the command cannot work with; what() is the
// German text for standard error (Windows-1252, like every text inside).
class ECliStateError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

// The options of a folder of state files. A missing options.dat gives the
// defaults, as it does for the window.
class TCliState {
public:
  // Throws ECliStateError when options.dat is damaged.
  explicit TCliState(const std::string& dir);

  TOptions Options;

  // The address table's file: the remembered one, else mailaddies.dbf in
  // the folder. Throws ECliStateError when the remembered name holds a
  // control character.
  std::string DatabaseFile() const;

  // Opens the address table without creating a missing file, the filter
  // (Windows-1252 text, empty: none) applied as the database page does.
  // Unless forWriting, the table is opened for reading only and the file
  // stays untouched, a wrong record count in its header included.
  // Throws ECliStateError naming the file and the reason.
  void OpenTable(TDbf& table, const std::string& filterText = {}, bool forWriting = false) const;

private:
  std::string FDir;
};

} // namespace postello
