#pragma once
// vCards (.vcf) of versions 2.1, 3.0 and 4.0 as address books export them.
// The first row is kVCardColumns; then one row per card with an e-mail
// address. A card without one is listed in SkippedCards().
#include "addressdb/TAddressRows.h"

#include <istream>
#include <memory>

namespace postello {

class TVCardRows : public TAddressRows {
public:
  TVCardRows(std::unique_ptr<std::istream> in, const std::string& fileName);

  bool Next(std::vector<std::string>& cells) override;

  // A longer property (a photo) is passed over.
  static constexpr std::size_t kMaxPropertyBytes = 1u << 20;

private:
  struct TProperty {
    std::string name;                                   // upper case, without group
    std::vector<std::pair<std::string, std::string>> params;  // upper-case names
    std::string value;                                  // raw
  };
  bool ReadPhysical(std::string& line);
  bool ReadLogical(std::string& line, std::size_t& lineNumber);
  static bool ParseProperty(const std::string& line, TProperty& property);

  std::unique_ptr<std::istream> mIn;
  std::string mFileName;
  std::string mAhead;
  bool mHaveAhead = false;
  std::size_t mPhysicalLine = 0;
  bool mHeaderGiven = false;
};

} // namespace postello
