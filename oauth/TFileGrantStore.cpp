#include "oauth/TFileGrantStore.h"

#include "core/SafeFile.h"


namespace postello {

namespace {

constexpr std::string_view kHeader = "postello-oauth 1\n";

} // namespace

TFileGrantStore::TFileGrantStore(std::string dir) : FPath(std::move(dir) + FileName) {}

std::map<std::string, TOAuthGrant> TFileGrantStore::ReadAll() {
  std::map<std::string, TOAuthGrant> out;
  std::ifstream in;
  std::uint64_t size = 0;
  if (!OpenStateFile(FPath, in, size)) return out;
  if (size > MaxFileSize) return out;
  std::string text(static_cast<size_t>(size), '\0');
  if (!in.read(text.data(), static_cast<std::streamsize>(size))) return out;
  if (text.substr(0, kHeader.size()) != kHeader) {
    KeepDamagedCopy(FPath);
    return out;
  }
  std::string_view rest = std::string_view(text).substr(kHeader.size());
  while (!rest.empty()) {
    const size_t gap = rest.find("\n\n");
    const std::string_view block = rest.substr(0, gap == std::string_view::npos ? rest.size() : gap + 1);
    rest = gap == std::string_view::npos ? std::string_view() : rest.substr(gap + 2);
    std::optional<TOAuthGrant> g = TOAuthGrant::Decode(block);
    if (!g) {
      KeepDamagedCopy(FPath);
      continue;
    }
    out.emplace(g->Key(), std::move(*g));
  }
  return out;
}

void TFileGrantStore::WriteAll(const std::map<std::string, TOAuthGrant>& grants) {
  std::string text(kHeader);
  bool first = true;
  for (const auto& entry : grants) {
    if (!first) text += '\n';
    first = false;
    text += entry.second.Encode();
  }
  // The safe save narrows the mode of a file it replaces to this one, so
  // an older file that others could read becomes private too.
  SaveFileSafely(FPath, text, 0600);
}

std::optional<TOAuthGrant> TFileGrantStore::Load(const std::string& key) {
  std::map<std::string, TOAuthGrant> all = ReadAll();
  const auto it = all.find(key);
  if (it == all.end()) return std::nullopt;
  return it->second;
}

void TFileGrantStore::Save(const TOAuthGrant& grant) {
  std::map<std::string, TOAuthGrant> all = ReadAll();
  all[grant.Key()] = grant;
  WriteAll(all);
}

bool TFileGrantStore::Remove(const std::string& key) {
  std::map<std::string, TOAuthGrant> all = ReadAll();
  if (all.erase(key) == 0) return false;
  WriteAll(all);
  return true;
}

} // namespace postello
