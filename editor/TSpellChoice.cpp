#include "editor/TSpellChoice.h"

#include "core/SafeFile.h"

#include <algorithm>
#include <fstream>

namespace postello {

std::string TSpellChoice::Load(const std::string& dataDir, const std::vector<std::string>& installed) {
  std::ifstream in(dataDir + kFileName, std::ios::binary);
  char buf[32] = {};
  in.read(buf, sizeof buf - 1); // a name is short; anything longer is no name of ours
  std::string name(buf, static_cast<std::size_t>(in.gcount()));
  while (!name.empty() && (name.back() == '\n' || name.back() == '\r' || name.back() == ' ')) name.pop_back();
  if (std::find(installed.begin(), installed.end(), name) != installed.end()) return name;
  return installed.empty() ? std::string() : installed.front();
}

void TSpellChoice::Save(const std::string& dataDir, const std::string& name) {
  SaveFileSafely(dataDir + kFileName, name + "\n");
}

} // namespace postello
