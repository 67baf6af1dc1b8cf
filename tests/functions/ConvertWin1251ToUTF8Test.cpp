// "Win1251ToUTF8" called as the game calls it: through a movie set up by the
// simulated host, slot 1 of the handler's table and a function call record.

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "functions/ResultBuffer.h"
#include "harness/LogCapture.h"
#include "sim/LinkedPlugin.h"
#include "sim/SimSession.h"
#include "sim/SimUiRuntime.h"

namespace {

const std::string kPrivet = "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82";
const std::string kPrivetMojibake = "\xC3\x8F\xC3\xB0\xC3\xA8\xC3\xA2\xC3\xA5\xC3\xB2";

class Win1251ToUTF8 : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(session_.loaded);
    runtime_.ClearRecords();
    log_.emplace();
  }

  void TearDown() override {
    ASSERT_TRUE(log_.has_value());
    EXPECT_EQ(log_->Text(), "") << "the function logs nothing";
    log_.reset();
  }

  sim::CallOutcome Call(std::vector<UiValue> args) {
    return session_.movie.Call("Win1251ToUTF8", std::move(args));
  }
  sim::CallOutcome Call(std::vector<UiValue> args, const UiValue& initialResult) {
    return session_.movie.Call("Win1251ToUTF8", std::move(args), initialResult);
  }
  sim::CallOutcome Call(const std::string& text) { return Call({runtime_.String(text.c_str())}); }

  static void ExpectPayloadHighWordUntouched(const sim::CallOutcome& outcome) {
    for (std::size_t at = 12; at < 16; ++at) {
      EXPECT_EQ(outcome.bytes[at], sim::SimMovie::kUntouched) << "byte " << at;
    }
  }

  static void ExpectString(const sim::CallOutcome& outcome, const std::string& expected) {
    EXPECT_EQ(outcome.result.kindWord, UiValue::kString);  // not managed
    if (expected.size() <= 256) {
      EXPECT_EQ(outcome.Text(), expected);
    } else {
      EXPECT_TRUE(outcome.Text() == expected) << "a text of " << outcome.Text().size() << " bytes";
    }
    ExpectPayloadHighWordUntouched(outcome);
  }

  static void ExpectUndefined(const sim::CallOutcome& outcome) {
    EXPECT_TRUE(outcome.IsUndefined()) << "kind word " << outcome.result.kindWord;
    ExpectPayloadHighWordUntouched(outcome);
  }

  sim::SimUiRuntime& runtime_ = sim::SimUiRuntime::Get();
  sim::SimSession session_{sim::LinkedPlugin()};
  std::optional<LogCapture> log_;
};

TEST_F(Win1251ToUTF8, RepairsUnmanagedAndManagedStrings) {
  ExpectString(Call(kPrivetMojibake), kPrivet);
  ExpectString(Call(kPrivet), kPrivet);
  ExpectString(Call("abc"), "abc");

  const UiValue managed = runtime_.ManagedString(kPrivetMojibake);
  const char* const managedText = *managed.payload.managedString;
  ExpectString(Call({managed}), kPrivet);
  EXPECT_EQ(managedText, *managed.payload.managedString);
  EXPECT_EQ(std::string(managedText), kPrivetMojibake) << "the input is not changed";
  EXPECT_TRUE(runtime_.Releases().empty()) << "arguments are not released";
}

TEST_F(Win1251ToUTF8, ReleasesAManagedPreviousResult) {
  const UiValue previous = runtime_.ManagedObject();
  const sim::CallOutcome outcome = Call({runtime_.String("abc")}, previous);
  ExpectString(outcome, "abc");
  ASSERT_EQ(runtime_.Releases().size(), 1u);
  EXPECT_EQ(runtime_.Releases()[0].payload, previous.payload.object);
  EXPECT_EQ(runtime_.Releases()[0].objectInterface, previous.objectInterface);

  // Refused calls release it too, and leave it undefined.
  ExpectUndefined(Call({}, previous));
  EXPECT_EQ(runtime_.Releases().size(), 2u);
}

TEST_F(Win1251ToUTF8, AnythingButOneNonEmptyStringLeavesTheResultUndefined) {
  const UiValue abc = runtime_.String("abc");
  const UiValue refused[] = {
      runtime_.String(""),         runtime_.ManagedString(""),
      runtime_.WideString(u"abc"), runtime_.ManagedWideString(u"abc"),
      runtime_.Number(4.0),        runtime_.Boolean(true),
      runtime_.String(nullptr),
  };
  for (const UiValue& value : refused) ExpectUndefined(Call({value}));
  ExpectUndefined(Call(std::vector<UiValue>{}));
  ExpectUndefined(Call({abc, abc}));

  // A string-kinded value whose managed payload holds no text.
  UiValue managedNull = runtime_.ManagedString("x");
  managedNull.payload.managedString = nullptr;
  ExpectUndefined(Call({managedNull}));
  const char* const nullCell = nullptr;
  managedNull.payload.managedString = &nullCell;
  ExpectUndefined(Call({managedNull}));

  // Nothing of the refusals leaks into the next call.
  ExpectString(Call({abc}), "abc");
}

TEST_F(Win1251ToUTF8, ReusesOneBlockAcrossCalls) {
  ExpectString(Call(std::string(4096, 'a')), std::string(4096, 'a'));
  const std::size_t allocations = ResultBuffer::AllocationCount();
  EXPECT_EQ(ResultBuffer::LiveBlockCount(), 1u);

  std::string text;
  for (int round = 0; round < 200; ++round) {
    text = std::string(1 + (round * 37) % 2000, 'b') + kPrivetMojibake;
    ExpectString(Call(text), std::string(text.size() - kPrivetMojibake.size(), 'b') + kPrivet);
  }
  EXPECT_EQ(ResultBuffer::AllocationCount(), allocations) << "texts that fit reuse the block";
  EXPECT_EQ(ResultBuffer::LiveBlockCount(), 1u);

  // Longer texts may need a larger block; the old one goes.
  for (std::size_t length = 5000; length < 400000; length *= 2) {
    ExpectString(Call(std::string(length, 'c')), std::string(length, 'c'));
    EXPECT_EQ(ResultBuffer::LiveBlockCount(), 1u);
  }
}

std::string Repeated(const std::string& piece, int count) {
  std::string text;
  for (int at = 0; at < count; ++at) text += piece;
  return text;
}

TEST_F(Win1251ToUTF8, ThePreviousResultCanBePassedBackIn) {
  // Ё is no letter of the table, so it converts again on every round until
  // it has become a letter: Ё (D0 81) -> Ѓ (D0 83) -> ѓ (D1 93) -> У (D0 A3).
  const std::string steps[] = {"\xD0\x81", "\xD0\x83", "\xD1\x93", "\xD0\xA3", "\xD0\xA3"};
  const auto text = [&](int step) { return "x " + Repeated(steps[step], 40) + " y"; };

  Call(std::string(100000, 'a'));  // room to convert in place
  const std::size_t allocations = ResultBuffer::AllocationCount();
  sim::CallOutcome outcome = Call(text(0));
  ExpectString(outcome, text(1));
  for (int step = 2; step < 5; ++step) {
    outcome = Call({outcome.result});
    ExpectString(outcome, text(step));
  }
  EXPECT_EQ(ResultBuffer::AllocationCount(), allocations);

  // Too big to stage in its own block: read from the old block while
  // writing a larger one, then drop the old one.
  const std::string big = Repeated("\xC3\xA8", 1 << 20);  // è read as Latin-1, и in Windows-1251
  const std::string repaired = Repeated("\xD0\xB8", 1 << 20);
  outcome = Call(big);
  ExpectString(outcome, repaired);
  outcome = Call({outcome.result});
  ExpectString(outcome, repaired);
  EXPECT_EQ(ResultBuffer::LiveBlockCount(), 1u);
  const std::size_t afterGrowth = ResultBuffer::AllocationCount();
  outcome = Call({outcome.result});
  ExpectString(outcome, repaired);
  EXPECT_EQ(ResultBuffer::AllocationCount(), afterGrowth);
}

TEST_F(Win1251ToUTF8, GivesALongTextsBlockBackToShortTexts) {
  const std::string big = Repeated("\xC3\xA8", 1 << 20);
  const std::string shortRepaired = Repeated("\xD0\xB8", 4);
  sim::CallOutcome outcome = Call(big);
  ASSERT_GE(ResultBuffer::HeldBytes(), big.size());

  // The tail of that result, passed back in, is read from the large block.
  UiValue tail = outcome.result;
  tail.payload.string += big.size() - shortRepaired.size();
  ExpectString(Call({tail}), shortRepaired);
  EXPECT_LT(ResultBuffer::HeldBytes(), 1024u);

  Call(big);
  ExpectString(Call("\xC3\xA8"), "\xD0\xB8");
  EXPECT_LT(ResultBuffer::HeldBytes(), 1024u);
  EXPECT_EQ(ResultBuffer::LiveBlockCount(), 1u);
}

}  // namespace
