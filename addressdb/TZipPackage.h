#pragma once
// A zip package (.xlsx, .ods) opened for reading its parts one after the
// other. Parts are read in pieces and at most kMaxUnpackedBytes of them all
// (a part read twice counts once), so that a zip bomb ends in an error
// instead of filling the memory or the afternoon.
#include <cstddef>
#include <map>
#include <memory>
#include <string>

struct zip;
struct zip_file;

namespace postello {

class TZipPackage {
public:
  static constexpr std::size_t kMaxUnpackedBytes = 256u << 20;

  // Throws TAddressFileError when the file is no readable zip.
  explicit TZipPackage(const std::string& fileName);
  // The same for bytes in memory; fileName names them in messages.
  TZipPackage(std::string bytes, const std::string& fileName);
  ~TZipPackage();
  TZipPackage(const TZipPackage&) = delete;
  TZipPackage& operator=(const TZipPackage&) = delete;

  bool Has(const std::string& part) const;
  const std::string& FileName() const { return mFileName; }

  // A part read piece by piece. Read() returns 0 at its end and throws
  // TAddressFileError when the part is damaged or larger than the bound.
  class TPart {
  public:
    ~TPart();
    std::size_t Read(char* buffer, std::size_t size);

  private:
    friend class TZipPackage;
    TPart(const TZipPackage& package, zip_file* file, std::string name)
        : mPackage(package), mFile(file), mName(std::move(name)) {}
    const TZipPackage& mPackage;
    zip_file* mFile;
    std::string mName;
    std::size_t mRead = 0;
  };
  // Throws TAddressFileError when the package lacks the part.
  std::unique_ptr<TPart> Open(const std::string& part) const;
  // A small part whole (workbook, relations, styles), "" when missing.
  std::string ReadSmall(const std::string& part) const;

  [[noreturn]] void Damaged(const std::string& detail) const;

private:
  void OpenSource(void* source);
  // Notes that read bytes of part are unpacked; throws past the bound.
  void Unpacked(const std::string& part, std::size_t read) const;

  std::string mFileName;
  std::string mBytes;
  zip* mZip = nullptr;
  mutable std::map<std::string, std::size_t> mUnpacked;  // the most read of each part
  mutable std::size_t mUnpackedTotal = 0;
};

} // namespace postello
