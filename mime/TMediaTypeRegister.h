#pragma once
// The register of file types: which media type a file extension stands for
// and which extension a media type is saved with. Filled from a mime.types
// file (the system's /etc/mime.types, Debian package media-types); when that
// file cannot be read, a small built-in table stands in. Extensions are kept
// with their dot and looked up without regard to the case of a to z; an
// extension maps to the first type that lists it, a type to the first
// extension listed for it.
#include <map>
#include <string>
#include <string_view>

namespace postello {

class TMediaTypeRegister {
public:
  // Reads `path`; falls back to the built-in table when it cannot be read
  // or lists nothing.
  explicit TMediaTypeRegister(const std::string& path);

  // The register every message uses: /etc/mime.types, read on first use.
  static const TMediaTypeRegister& System();

  // Media type for an extension such as ".gif"; empty when unregistered.
  std::string TypeForExtension(std::string_view extension) const;
  // Extension with its dot for a media type; empty when unregistered.
  std::string ExtensionForType(std::string_view mediaType) const;

  bool UsesBuiltInTable() const { return FBuiltIn; }

private:
  void Add(std::string_view mediaType, std::string_view extensionWithoutDot);
  bool LoadFile(const std::string& path);
  void LoadBuiltIn();

  std::map<std::string, std::string> FTypeByExtension;
  std::map<std::string, std::string> FExtensionByType;
  bool FBuiltIn = false;
};

// Media type of a file by its name's extension (from the last "."), or
// "application/octet-stream" when the extension is missing or unregistered.
std::string ContentTypeForFile(std::string_view fileName);

// The registered extension of a media type with its dot, or empty.
std::string ExtensionForContentType(std::string_view mediaType);

} // namespace postello
