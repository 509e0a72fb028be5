#include "mime/TMediaTypeRegister.h"

#include "mime/HeaderLines.h"

#include <fstream>

namespace postello {

namespace {

// Enough for what mails usually carry when the system table is missing.
constexpr std::pair<const char*, const char*> kBuiltIn[] = {
    {"text/plain", "txt"},          {"text/html", "html"},
    {"text/html", "htm"},           {"text/css", "css"},
    {"text/csv", "csv"},            {"text/xml", "xml"},
    {"text/rtf", "rtf"},            {"image/gif", "gif"},
    {"image/jpeg", "jpg"},          {"image/jpeg", "jpeg"},
    {"image/png", "png"},           {"image/bmp", "bmp"},
    {"image/tiff", "tif"},          {"image/tiff", "tiff"},
    {"image/svg+xml", "svg"},       {"image/x-icon", "ico"},
    {"application/pdf", "pdf"},     {"application/zip", "zip"},
    {"application/msword", "doc"},  {"application/vnd.ms-excel", "xls"},
    {"application/rtf", "rtf"},     {"application/javascript", "js"},
    {"audio/mpeg", "mp3"},          {"video/mp4", "mp4"},
};

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

} // namespace

TMediaTypeRegister::TMediaTypeRegister(const std::string& path) {
  if (!LoadFile(path) || FTypeByExtension.empty()) LoadBuiltIn();
}

const TMediaTypeRegister& TMediaTypeRegister::System() {
  static const TMediaTypeRegister registerOfSystem("/etc/mime.types");
  return registerOfSystem;
}

void TMediaTypeRegister::Add(std::string_view mediaType, std::string_view extensionWithoutDot) {
  if (mediaType.empty() || extensionWithoutDot.empty()) return;
  std::string extension = "." + LowerCaseAscii(extensionWithoutDot);
  std::string type = LowerCaseAscii(mediaType);
  FTypeByExtension.emplace(extension, type);
  FExtensionByType.emplace(type, extension);
}

bool TMediaTypeRegister::LoadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::string line;
  while (std::getline(in, line)) {
    std::size_t hash = line.find('#');
    if (hash != std::string::npos) line.resize(hash);
    std::size_t i = 0;
    auto word = [&]() {
      while (i < line.size() && IsBlank(line[i])) ++i;
      std::size_t start = i;
      while (i < line.size() && !IsBlank(line[i])) ++i;
      return std::string_view(line).substr(start, i - start);
    };
    std::string_view type = word();
    if (type.empty() || type.find('/') == std::string_view::npos) continue;
    for (std::string_view ext = word(); !ext.empty(); ext = word()) Add(type, ext);
  }
  return true;
}

void TMediaTypeRegister::LoadBuiltIn() {
  FTypeByExtension.clear();
  FExtensionByType.clear();
  for (const auto& [type, extension] : kBuiltIn) Add(type, extension);
  FBuiltIn = true;
}

std::string TMediaTypeRegister::TypeForExtension(std::string_view extension) const {
  auto it = FTypeByExtension.find(LowerCaseAscii(extension));
  return it == FTypeByExtension.end() ? std::string() : it->second;
}

std::string TMediaTypeRegister::ExtensionForType(std::string_view mediaType) const {
  auto it = FExtensionByType.find(LowerCaseAscii(TrimBlanks(mediaType)));
  return it == FExtensionByType.end() ? std::string() : it->second;
}

std::string ContentTypeForFile(std::string_view fileName) {
  std::size_t slash = fileName.find_last_of('/');
  if (slash != std::string_view::npos) fileName.remove_prefix(slash + 1);
  std::size_t dot = fileName.rfind('.');
  if (dot == std::string_view::npos) return "application/octet-stream";
  std::string type = TMediaTypeRegister::System().TypeForExtension(fileName.substr(dot));
  return type.empty() ? "application/octet-stream" : type;
}

std::string ExtensionForContentType(std::string_view mediaType) {
  return TMediaTypeRegister::System().ExtensionForType(mediaType);
}

} // namespace postello
