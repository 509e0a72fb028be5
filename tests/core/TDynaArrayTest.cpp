#include "core/TDynaArray.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace postello;

namespace {
struct Rec {
  int a = 0;
  char pad[12] = {};
};
} // namespace

TEST(TDynaArray, NewArrayHasNoBlockAndNothingSelected) {
  Rec* cur = reinterpret_cast<Rec*>(0x1);
  TDynaArray<Rec> arr(&cur);
  EXPECT_EQ(arr.Count(), 0u);
  EXPECT_EQ(arr.CapacityBytes(), 0u);
  EXPECT_EQ(arr.Memory(), nullptr);
  EXPECT_EQ(arr.Index(), -1);
  // First and Next on an empty array change nothing, not even the cursor.
  arr.First();
  EXPECT_FALSE(arr.Next());
  EXPECT_EQ(arr.Index(), -1);
  EXPECT_EQ(cur, reinterpret_cast<Rec*>(0x1));
}

TEST(TDynaArray, CapacityMovesInStepsOfHundredElements) {
  Rec* cur = nullptr;
  TDynaArray<Rec> arr(&cur);
  const std::uint32_t step = 100 * sizeof(Rec);
  arr.Add()->a = 1;
  EXPECT_EQ(arr.CapacityBytes(), step);
  for (int k = 2; k <= 100; ++k) arr.Add()->a = k;
  EXPECT_EQ(arr.CapacityBytes(), step);
  const void* before = arr.Memory();
  Rec* added = arr.Add();
  // The 101st element needs a second step: a new block, old contents kept,
  // the new element zeroed and the cursor pointing into the new block.
  EXPECT_EQ(arr.CapacityBytes(), 2 * step);
  EXPECT_NE(arr.Memory(), before);
  EXPECT_EQ(added->a, 0);
  EXPECT_EQ(cur, added);
  EXPECT_EQ(arr.Index(), 100);
  for (int k = 0; k < 100; ++k) ASSERT_EQ(arr[k].a, k + 1);
  arr.Delete(100);
  EXPECT_EQ(arr.CapacityBytes(), step);
  EXPECT_EQ(arr[99].a, 100);
}

TEST(TDynaArray, DeleteMovesFollowersDownAndClearsTheSelection) {
  Rec* cur = nullptr;
  TDynaArray<Rec> arr(&cur);
  for (int k = 0; k < 5; ++k) arr.Add()->a = k;
  arr.Select(3);
  arr.Delete(5); // index == Count: nothing happens, selection stays
  EXPECT_EQ(arr.Count(), 5u);
  EXPECT_EQ(cur, &arr[3]);
  arr.Delete(-1);
  EXPECT_EQ(arr.Count(), 5u);
  arr.Delete(1);
  EXPECT_EQ(arr.Count(), 4u);
  EXPECT_EQ(cur, nullptr);
  EXPECT_EQ(arr.Index(), -1);
  EXPECT_EQ(arr[0].a, 0);
  EXPECT_EQ(arr[1].a, 2);
  EXPECT_EQ(arr[3].a, 4);
  arr.Delete(3); // the last element: nothing moves
  EXPECT_EQ(arr[2].a, 3);
}

TEST(TDynaArray, DeletingToZeroReleasesTheBlockAndAddStartsZeroed) {
  Rec* cur = nullptr;
  TDynaArray<Rec> arr(&cur);
  arr.Add()->a = 7;
  std::memset(arr.Add()->pad, 'x', 12);
  arr.Delete(0);
  arr.Delete(0);
  EXPECT_EQ(arr.Memory(), nullptr);
  EXPECT_EQ(arr.CapacityBytes(), 0u);
  Rec* r = arr.Add();
  EXPECT_EQ(r->a, 0);
  EXPECT_EQ(r->pad[0], 0);
  EXPECT_EQ(cur, r);
}

TEST(TDynaArray, IterationVisitsAllInOrderAndLeavesTheLastSelected) {
  Rec* cur = nullptr;
  TDynaArray<Rec> arr(&cur);
  for (int k = 0; k < 3; ++k) arr.Add()->a = 10 + k;
  std::string seen;
  arr.First();
  while (arr.Next()) seen += std::to_string(cur->a) + ",";
  EXPECT_EQ(seen, "10,11,12,");
  EXPECT_EQ(arr.Index(), 3);
  EXPECT_EQ(cur, &arr[2]);
  EXPECT_FALSE(arr.Next());
}

TEST(TDynaArray, AllocationFailureNamesTheRequestedBytes) {
  struct Huge {
    char bytes[1ull << 40];
  };
  struct Recorder : TMessageSink {
    std::string text;
    TMsgResult Show(const std::string& t, const std::string&, TMsgButtons, TMsgIcon) override {
      text = t;
      return TMsgResult::Ok;
    }
  } sink;
  TMessageSink* old = SetMessageSink(&sink);
  TDynaArray<Huge> arr;
  EXPECT_THROW(arr.Add(), std::bad_alloc);
  SetMessageSink(old);
  EXPECT_EQ(sink.text, "Fehler 1 beim Anfordern von " + std::to_string(100 * sizeof(Huge)) +
                           " Bytes Arbeitsspeicher. Nicht genug Speicher.");
  EXPECT_EQ(arr.Count(), 0u);
}
