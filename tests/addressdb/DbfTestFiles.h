#pragma once
// Scratch files for the address database tests: each test gets its own
// empty folder, removed afterwards.
#include "addressdb/AddressDb.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>
#include <unistd.h>

namespace postello::testing {

class ScratchDir : public ::testing::Test {
protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    mDir = std::filesystem::temp_directory_path() /
           ("postello-" + std::string(info->test_suite_name()) + "-" + info->name() + "-" +
            std::to_string(::getpid()));
    std::filesystem::remove_all(mDir);
    std::filesystem::create_directories(mDir);
  }
  void TearDown() override { std::filesystem::remove_all(mDir); }

  std::string Path(const std::string& name) const { return (mDir / name).string(); }

  static std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  }
  static void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }
  static std::uint32_t U32(const std::string& b, std::size_t at) {
    return static_cast<std::uint8_t>(b[at]) | (static_cast<std::uint8_t>(b[at + 1]) << 8) |
           (static_cast<std::uint8_t>(b[at + 2]) << 16) |
           (static_cast<std::uint32_t>(static_cast<std::uint8_t>(b[at + 3])) << 24);
  }
  static unsigned U16(const std::string& b, std::size_t at) {
    return static_cast<std::uint8_t>(b[at]) | (static_cast<std::uint8_t>(b[at + 1]) << 8);
  }

  std::filesystem::path mDir;
};

// The program's fields as tables made before the address field was 254
// wide had them (address C 50): the byte layouts the file tests spell out.
inline std::vector<postello::TDbfFieldDef> FieldDefsWithShortAddress(int infoFields) {
  std::vector<postello::TDbfFieldDef> defs = postello::AddressFieldDefs(infoFields);
  defs.front().Size = 50;
  return defs;
}

} // namespace postello::testing
