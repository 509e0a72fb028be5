#pragma once
#include <cstddef>
#include <stdexcept>
#include <string>

namespace postello {

// A state file could not be read or written. Offset is the byte position
// in the file where reading failed (0 for write errors).
class EInOutError : public std::runtime_error {
public:
  EInOutError(const std::string& message, std::size_t offset = 0)
      : std::runtime_error(message), m_offset(offset) {}
  std::size_t Offset() const { return m_offset; }

private:
  std::size_t m_offset;
};

} // namespace postello
