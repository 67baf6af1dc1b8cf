// Memory of "Win1251ToUTF8" over many calls, counted at the global allocator:
// calls whose text fits the block already held allocate nothing at all, and
// a long run of calls of every length ends holding what it held before.

#include <gtest/gtest.h>

#include <string>

#include "faults/FailingAllocator.h"
#include "faults/FaultTesting.h"
#include "functions/ResultBuffer.h"
#include "sim/LinkedPlugin.h"
#include "sim/SimSession.h"
#include "sim/SimUiRuntime.h"

namespace {

// Mojibake of Russian prose: every character a two-byte Latin-1 sequence.
std::string Mojibake(std::size_t bytes) {
  static const std::string kWord = "\xC3\x8F\xC3\xB0\xC3\xA8\xC3\xA2\xC3\xA5\xC3\xB2 ";  // "Ïðèâåò "
  std::string text;
  while (text.size() + kWord.size() <= bytes) text += kWord;
  text.append(bytes - text.size(), 'a');
  return text;
}

class RepairMemory : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(session_.loaded); }

  UiValue Call(const std::string& text) {
    UiValue argument = sim::SimUiRuntime::Get().String(text.c_str());
    return faults::CallThroughTable(handler_, &argument, 1, sim::SimUiRuntime::Get().Undefined());
  }

  sim::SimSession session_{sim::LinkedPlugin()};
  void* handler_ = session_.movie.MemberHandler("Win1251ToUTF8");
};

TEST_F(RepairMemory, ShortTextsAllocateNothingOnceABlockIsHeld) {
  const std::string text = Mojibake(40);
  ASSERT_EQ(Call(text).kindWord, UiValue::kString);

  failing_allocator::CountFromNow();
  for (int call = 0; call < 1000; ++call) Call(text);
  failing_allocator::Stop();
  EXPECT_EQ(failing_allocator::Allocations(), 0u);
}

TEST_F(RepairMemory, ManyCallsOfEveryLengthEndHoldingWhatTheyHeld) {
  constexpr std::size_t kLongest = 4096;
  ASSERT_EQ(Call(Mojibake(kLongest)).kindWord, UiValue::kString);
  const std::int64_t liveBefore = failing_allocator::LiveBlocks();
  const std::size_t blocksBefore = ResultBuffer::AllocationCount();

  std::uint32_t seed = 12345;
  for (int call = 0; call < 20000; ++call) {
    seed = seed * 1664525u + 1013904223u;
    const UiValue result = Call(Mojibake(1 + seed % kLongest));
    ASSERT_EQ(result.kindWord, UiValue::kString);
  }
  EXPECT_EQ(failing_allocator::LiveBlocks(), liveBefore);
  EXPECT_EQ(ResultBuffer::AllocationCount(), blocksBefore) << "the first block fits every later text";
  EXPECT_EQ(ResultBuffer::LiveBlockCount(), 1u);
}

}  // namespace
