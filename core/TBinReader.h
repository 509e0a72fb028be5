#pragma once
// Reads the fields of a binary state file, either from its bytes in memory
// or straight from the file, field by field. Every read checks what is
// left of the file first, so a damaged file raises EInOutError ("Read
// beyond end of file") at the field where it ends, never reads outside the
// data and never allocates more than the file still holds. Reading from
// the file keeps only the fields in memory, whatever the file's size.
#include "core/EInOutError.h"

#include <cstdint>
#include <istream>
#include <string>
#include <string_view>

namespace postello {

class TBinReader {
public:
  // The bytes must outlive the reader.
  explicit TBinReader(std::string_view data) : m_data(data), m_size(data.size()) {}
  // Reads from `in`, positioned at the start of the file, whose length is
  // `size` bytes. The stream must outlive the reader.
  TBinReader(std::istream& in, std::uint64_t size) : m_in(&in), m_size(size) {}

  std::uint8_t ReadByte();
  std::int32_t ReadInt32();
  std::uint32_t ReadUInt32() { return static_cast<std::uint32_t>(ReadInt32()); }
  // n raw bytes; n must not exceed what is left.
  std::string ReadBytes(std::size_t n);

  std::uint64_t Pos() const { return m_pos; }
  std::uint64_t Remaining() const { return m_size - m_pos; }
  bool AtEnd() const { return m_pos == m_size; }

private:
  void Need(std::uint64_t n) const;
  // Copies the next n bytes (Need checked) and moves on.
  void Take(char* out, std::size_t n);

  std::string_view m_data;
  std::istream* m_in = nullptr;
  std::uint64_t m_size = 0;
  std::uint64_t m_pos = 0;
};

} // namespace postello
