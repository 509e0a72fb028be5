#pragma once
// An ordered list of part references with indexed access. It does not own
// the parts: destroying the list leaves them alive (the message owns them).
#include <algorithm>
#include <cstddef>
#include <vector>

namespace postello {

class TMailPart;

class TMailPartList {
public:
  int Count() const { return static_cast<int>(FItems.size()); }
  bool Empty() const { return FItems.empty(); }
  TMailPart* operator[](int index) const { return FItems[static_cast<std::size_t>(index)]; }
  TMailPart* First() const { return FItems.empty() ? nullptr : FItems.front(); }

  void Add(TMailPart* part) { FItems.push_back(part); }
  void Insert(int index, TMailPart* part) { FItems.insert(FItems.begin() + index, part); }
  void Replace(int index, TMailPart* part) { FItems[static_cast<std::size_t>(index)] = part; }
  void Delete(int index) { FItems.erase(FItems.begin() + index); }
  void Clear() { FItems.clear(); }
  int IndexOf(const TMailPart* part) const {
    auto it = std::find(FItems.begin(), FItems.end(), part);
    return it == FItems.end() ? -1 : static_cast<int>(it - FItems.begin());
  }
  // Removes the first occurrence; false when absent.
  bool Remove(const TMailPart* part) {
    int index = IndexOf(part);
    if (index < 0) return false;
    Delete(index);
    return true;
  }

  auto begin() const { return FItems.begin(); }
  auto end() const { return FItems.end(); }

private:
  std::vector<TMailPart*> FItems;
};

} // namespace postello
