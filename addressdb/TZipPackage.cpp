#include "addressdb/TZipPackage.h"

#include "addressdb/TAddressRows.h"

#include <zip.h>

namespace postello {

namespace {
// Parts the readers read whole are small; a larger one is no workbook.
constexpr std::size_t kMaxSmallPart = 64u << 20;
} // namespace

TZipPackage::TZipPackage(const std::string& fileName) : mFileName(fileName) {
  zip_error_t error;
  zip_error_init(&error);
  zip_source_t* source = zip_source_file_create(fileName.c_str(), 0, -1, &error);
  if (!source) {
    const std::string why = zip_error_strerror(&error);
    zip_error_fini(&error);
    throw TAddressFileError(fileName, "Die Datei kann nicht ge\xF6" "ffnet werden (" + why + ")");
  }
  zip_error_fini(&error);
  OpenSource(source);
}

TZipPackage::TZipPackage(std::string bytes, const std::string& fileName)
    : mFileName(fileName), mBytes(std::move(bytes)) {
  zip_error_t error;
  zip_error_init(&error);
  zip_source_t* source = zip_source_buffer_create(mBytes.data(), mBytes.size(), 0, &error);
  zip_error_fini(&error);
  if (!source) Damaged("kein Speicher");
  OpenSource(source);
}

void TZipPackage::OpenSource(void* voidSource) {
  auto* source = static_cast<zip_source_t*>(voidSource);
  zip_error_t error;
  zip_error_init(&error);
  mZip = zip_open_from_source(source, ZIP_RDONLY | ZIP_CHECKCONS, &error);
  if (!mZip) {
    zip_source_free(source);
    const std::string why = zip_error_strerror(&error);
    zip_error_fini(&error);
    Damaged(why);
  }
  zip_error_fini(&error);
}

TZipPackage::~TZipPackage() {
  if (mZip) zip_discard(mZip);
}

void TZipPackage::Damaged(const std::string& detail) const {
  throw TAddressFileError(mFileName, "Die Datei ist ein besch\xE4" "digtes Zip-Paket (" + detail + ")");
}

bool TZipPackage::Has(const std::string& part) const { return zip_name_locate(mZip, part.c_str(), 0) >= 0; }

std::unique_ptr<TZipPackage::TPart> TZipPackage::Open(const std::string& part) const {
  const zip_int64_t index = zip_name_locate(mZip, part.c_str(), 0);
  if (index < 0) Damaged("es fehlt " + part);
  zip_file_t* file = zip_fopen_index(mZip, static_cast<zip_uint64_t>(index), 0);
  if (!file) Damaged(part + ": " + zip_strerror(mZip));
  return std::unique_ptr<TPart>(new TPart(*this, file, part));
}

TZipPackage::TPart::~TPart() { zip_fclose(mFile); }

std::size_t TZipPackage::TPart::Read(char* buffer, std::size_t size) {
  const zip_int64_t got = zip_fread(mFile, buffer, size);
  if (got < 0) mPackage.Damaged(mName + ": " + zip_file_strerror(mFile));
  mRead += static_cast<std::size_t>(got);
  mPackage.Unpacked(mName, mRead);
  return static_cast<std::size_t>(got);
}

void TZipPackage::Unpacked(const std::string& part, std::size_t read) const {
  std::size_t& most = mUnpacked[part];
  if (read <= most) return;
  mUnpackedTotal += read - most;
  most = read;
  if (mUnpackedTotal > kMaxUnpackedBytes)
    throw TAddressFileError(mFileName, "Die Datei entpackt sich zu mehr als 256 MB (" + part +
                                           "); sie ist zu gro\xDF oder eine Zip-Bombe");
}

std::string TZipPackage::ReadSmall(const std::string& part) const {
  if (!Has(part)) return {};
  auto in = Open(part);
  std::string out;
  char buffer[65536];
  while (const std::size_t got = in->Read(buffer, sizeof buffer)) {
    out.append(buffer, got);
    if (out.size() > kMaxSmallPart) Damaged(part + " ist zu gro\xDF");
  }
  return out;
}

} // namespace postello
