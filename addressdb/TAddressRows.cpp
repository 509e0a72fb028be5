#include "addressdb/TAddressRows.h"

#include "addressdb/TOdsRows.h"
#include "addressdb/TTextRows.h"
#include "addressdb/TVCardRows.h"
#include "addressdb/TXlsxRows.h"
#include "core/SystemErrorText.h"

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace postello {

const char* EncodingName(TTextEncoding encoding) {
  switch (encoding) {
  case TTextEncoding::Detect: return "automatisch";
  case TTextEncoding::Utf8: return "UTF-8";
  case TTextEncoding::Utf16Le: return "UTF-16 LE";
  case TTextEncoding::Utf16Be: return "UTF-16 BE";
  case TTextEncoding::Windows1252: return "Windows-1252 (ANSI)";
  }
  return "";
}

const std::vector<std::string> kVCardColumns = {"E-Mail", "Nachname", "Vorname", "Anrede", "Name", "Firma"};

TAddressFileError::TAddressFileError(const std::string& fileName, const std::string& message, int systemError)
    : std::runtime_error(message + " (Datei \"" + fileName + "\")"), mFileName(fileName), mSystemError(systemError) {}

namespace {

enum class TKind { Zip, VCard, Text };

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
  if (s.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i)
    if (std::toupper(static_cast<unsigned char>(s[i])) != prefix[i]) return false;
  return true;
}

// Sorts a file by its first bytes; refuses what is plainly no address list.
TKind Classify(std::string_view head, const std::string& fileName, TTextEncoding encoding) {
  if (head.substr(0, 4) == "PK\x03\x04" || head.substr(0, 4) == "PK\x05\x06") return TKind::Zip;
  if (head.substr(0, 4) == "\xD0\xCF\x11\xE0")
    throw TAddressFileError(fileName, "Die Datei ist eine alte Excel- oder Office-Datei (.xls); bitte in Excel "
                                      "oder LibreOffice als .xlsx oder CSV speichern");
  std::string_view text = head;
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  while (!text.empty() && (text[0] == ' ' || text[0] == '\t' || text[0] == '\r' || text[0] == '\n'))
    text.remove_prefix(1);
  if (StartsWithNoCase(text, "BEGIN:VCARD")) return TKind::VCard;
  const bool utf16 = head.substr(0, 2) == "\xFF\xFE" || head.substr(0, 2) == "\xFE\xFF" ||
                     encoding == TTextEncoding::Utf16Le || encoding == TTextEncoding::Utf16Be;
  if (!utf16 && head.find('\0') != std::string_view::npos)
    throw TAddressFileError(fileName, "Die Datei ist weder Text noch eine Excel-, LibreOffice- oder vCard-Datei");
  return TKind::Text;
}

std::unique_ptr<TAddressRows> OpenWorkbook(std::unique_ptr<TZipPackage> package,
                                           const TAddressRowsOptions& options) {
  if (TOdsRows::IsSpreadsheet(*package)) return std::make_unique<TOdsRows>(std::move(package), options);
  if (TXlsxRows::IsWorkbook(*package)) return std::make_unique<TXlsxRows>(std::move(package), options);
  throw TAddressFileError(package->FileName(), "Die Datei ist ein Zip-Paket, aber keine Excel- oder "
                                               "LibreOffice-Tabelle");
}

// bytes: the file's content when it is in memory, else nullptr.
std::unique_ptr<TAddressRows> Open(std::unique_ptr<std::istream> in, const std::string& fileName,
                                   const TAddressRowsOptions& options, std::string* bytes) {
  std::string head(4096, '\0');
  in->read(head.data(), head.size());
  head.resize(static_cast<std::size_t>(in->gcount()));
  in->clear();
  in->seekg(0);
  switch (Classify(head, fileName, options.encoding)) {
  case TKind::Zip:
    in.reset();
    return OpenWorkbook(bytes ? std::make_unique<TZipPackage>(std::move(*bytes), fileName)
                              : std::make_unique<TZipPackage>(fileName),
                        options);
  case TKind::VCard:
    return std::make_unique<TVCardRows>(std::move(in), fileName);
  case TKind::Text:
    break;
  }
  return std::make_unique<TTextRows>(std::move(in), fileName, options);
}

} // namespace

std::unique_ptr<TAddressRows> OpenAddressRows(const std::string& fileName, const TAddressRowsOptions& options) {
  std::error_code ec;
  if (std::filesystem::is_directory(fileName, ec))
    throw TAddressFileError(fileName, "Die Datei kann nicht ge\xF6" "ffnet werden: " + SystemErrorText(EISDIR), EISDIR);
  errno = 0;
  auto in = std::make_unique<std::ifstream>(fileName, std::ios::binary);
  if (!*in) {
    const int err = errno ? errno : EIO;
    throw TAddressFileError(fileName, "Die Datei kann nicht ge\xF6" "ffnet werden: " + SystemErrorText(err), err);
  }
  return Open(std::move(in), fileName, options, nullptr);
}

std::unique_ptr<TAddressRows> AddressRowsFromBytes(std::string bytes, const std::string& fileName,
                                                   const TAddressRowsOptions& options) {
  auto in = std::make_unique<std::istringstream>(bytes);
  return Open(std::move(in), fileName, options, &bytes);
}

} // namespace postello
