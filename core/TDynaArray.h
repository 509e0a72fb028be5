#pragma once
// Growable array of records with a built-in cursor.
//
// The array owns one block of elements whose capacity moves in steps of
// GrowStep (100) elements: CapacityBytes is always
// ((Count - 1) / 100 + 1) * 100 * ElemSize while Count > 0, and 0 without
// elements. It keeps a pointer to its selected element (Current) and mirrors
// it into the owner's cursor variable (CurrentVar, may be null) on every
// selection. Owners select an element and then work on it through their
// cursor variable; the iteration idiom is First(), then while (Next()) use
// the cursor variable.
//
// Add may move the block and Delete clears the selection: a pointer to an
// element taken earlier is not valid after either. Records may own strings
// and nested arrays; they are moved, never byte-copied.
#include "core/TMessageSink.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <string>
#include <utility>

namespace postello {

template <class T>
class TDynaArray {
public:
  static constexpr std::int32_t GrowStep = 100;
  static constexpr std::int32_t ElemSize = static_cast<std::int32_t>(sizeof(T));

  explicit TDynaArray(T** currentVar = nullptr) : m_currentVar(currentVar) {}

  // A copy holds copies of the elements at the same capacity, with nothing
  // selected and no cursor variable: its owner binds its own.
  TDynaArray(const TDynaArray& other) { CopyFrom(other); }
  TDynaArray& operator=(const TDynaArray& other) {
    if (this != &other) {
      Release();
      CopyFrom(other);
    }
    return *this;
  }
  // A move takes the block, the selection and the cursor variable along.
  TDynaArray(TDynaArray&& other) noexcept { Steal(other); }
  TDynaArray& operator=(TDynaArray&& other) noexcept {
    if (this != &other) {
      Release();
      Steal(other);
    }
    return *this;
  }
  // Frees the block; the cursor variable is left as it is.
  ~TDynaArray() { Release(); }

  // Appends a new, value-initialised element and selects it.
  T* Add() {
    Grow(m_count + 1);
    new (m_memory + m_count) T{};
    ++m_count;
    return Select(static_cast<std::int32_t>(m_count) - 1);
  }

  // Removes element i (nothing happens outside 0..Count-1) and clears the
  // selection.
  void Delete(std::int32_t i) {
    if (i < 0 || static_cast<std::uint32_t>(i) >= m_count) return;
    for (std::uint32_t k = static_cast<std::uint32_t>(i); k + 1 < m_count; ++k) {
      m_memory[k] = std::move(m_memory[k + 1]);
    }
    --m_count;
    m_memory[m_count].~T();
    Shrink();
    SetCurrent(nullptr);
    m_index = -1;
  }

  // Selects element i. Callers pass indexes of rows that mirror the array;
  // there is no bounds check, as with the list views that drive it.
  T* Select(std::int32_t i) {
    m_index = i;
    SetCurrent(m_memory + i);
    return m_current;
  }

  void First() {
    if (m_count == 0) return;
    Select(0);
  }

  // Selects element Index and advances Index; false once past the end.
  bool Next() {
    if (m_count == 0 || m_index < 0 || static_cast<std::uint32_t>(m_index) >= m_count) return false;
    Select(m_index);
    ++m_index;
    return true;
  }

  std::uint32_t Count() const { return m_count; }
  std::int32_t Index() const { return m_index; }
  std::uint32_t CapacityBytes() const { return m_capacityBytes; }
  T* Current() const { return m_current; }
  const void* Memory() const { return m_memory; }
  T** CurrentVar() const { return m_currentVar; }

  // Points the mirror at another cursor variable (an owner that moved) and
  // writes the current selection into it.
  void SetCurrentVar(T** var) {
    m_currentVar = var;
    if (m_currentVar) *m_currentVar = m_current;
  }

  // Read access without touching the cursor, for code that only looks.
  const T& operator[](std::size_t i) const { return m_memory[i]; }
  T& operator[](std::size_t i) { return m_memory[i]; }
  const T* begin() const { return m_memory; }
  const T* end() const { return m_memory + m_count; }
  T* begin() { return m_memory; }
  T* end() { return m_memory + m_count; }

private:
  static std::size_t NeedBytes(std::uint32_t count) {
    if (count == 0) return 0;
    return (static_cast<std::size_t>(count - 1) / GrowStep + 1) * GrowStep * sizeof(T);
  }

  static T* Allocate(std::size_t bytes, int errorNo) {
    try {
      return std::allocator<T>().allocate(bytes / sizeof(T));
    } catch (const std::bad_alloc&) {
      ShowError("Fehler " + std::to_string(errorNo) + " beim Anfordern von " + std::to_string(bytes) +
                " Bytes Arbeitsspeicher. Nicht genug Speicher.");
      throw;
    }
  }

  void FreeBlock(T* block, std::size_t bytes) {
    if (block) std::allocator<T>().deallocate(block, bytes / sizeof(T));
  }

  // Moves the live elements into a fresh block of `bytes` bytes.
  void Rehome(std::size_t bytes, int errorNo) {
    T* block = Allocate(bytes, errorNo);
    for (std::uint32_t k = 0; k < m_count; ++k) {
      new (block + k) T(std::move(m_memory[k]));
      m_memory[k].~T();
    }
    FreeBlock(m_memory, m_capacityBytes);
    m_memory = block;
    m_capacityBytes = static_cast<std::uint32_t>(bytes);
    if (m_index >= 0 && static_cast<std::uint32_t>(m_index) < m_count) {
      SetCurrent(m_memory + m_index);
    }
  }

  // Makes room for newCount elements; true when the block was replaced.
  bool Grow(std::uint32_t newCount) {
    const std::size_t need = NeedBytes(newCount);
    if (need == m_capacityBytes) return false;
    Rehome(need, newCount == 1 || !m_memory ? 1 : 2);
    return true;
  }

  void Shrink() {
    const std::size_t need = NeedBytes(m_count);
    if (need == m_capacityBytes) return;
    if (m_count == 0) {
      FreeBlock(m_memory, m_capacityBytes);
      m_memory = nullptr;
      m_capacityBytes = 0;
      return;
    }
    Rehome(need, 3);
  }

  void SetCurrent(T* element) {
    m_current = element;
    if (m_currentVar) *m_currentVar = element;
  }

  void Release() {
    for (std::uint32_t k = 0; k < m_count; ++k) m_memory[k].~T();
    FreeBlock(m_memory, m_capacityBytes);
    m_memory = nullptr;
    m_capacityBytes = 0;
    m_count = 0;
    m_current = nullptr;
    m_index = -1;
  }

  void CopyFrom(const TDynaArray& other) {
    m_currentVar = nullptr;
    m_current = nullptr;
    m_index = -1;
    m_count = 0;
    m_capacityBytes = 0;
    m_memory = nullptr;
    if (other.m_count == 0) return;
    m_memory = Allocate(other.m_capacityBytes, 1);
    m_capacityBytes = other.m_capacityBytes;
    for (; m_count < other.m_count; ++m_count) {
      new (m_memory + m_count) T(other.m_memory[m_count]);
    }
  }

  void Steal(TDynaArray& other) {
    m_currentVar = std::exchange(other.m_currentVar, nullptr);
    m_current = std::exchange(other.m_current, nullptr);
    m_memory = std::exchange(other.m_memory, nullptr);
    m_count = std::exchange(other.m_count, 0);
    m_index = std::exchange(other.m_index, -1);
    m_capacityBytes = std::exchange(other.m_capacityBytes, 0);
  }

  T** m_currentVar = nullptr;
  T* m_current = nullptr;
  T* m_memory = nullptr;
  std::uint32_t m_count = 0;
  std::int32_t m_index = -1;
  std::uint32_t m_capacityBytes = 0;
};

} // namespace postello
