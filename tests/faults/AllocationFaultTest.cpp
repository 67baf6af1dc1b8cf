// Every entry point and UI function with an allocation failing inside it:
// the nth allocation of the call fails, for every n the call reaches, each in
// a fresh process so that first-call paths (the handler cache, the runtime
// root, the result buffer) are covered too. The call must return normally
// with its documented failure result: query false, load true, the per-movie
// callback true, "saveFile" boolean false, "Win1251ToUTF8" undefined.
// Allocations the simulated host makes inside its calls fail too: for the
// plug-in they are part of the call. The UI runtime's are kept out (see
// ArenaUiHeap and GrowRuntimeRecords): the game's runtime never allocates
// from the plug-in's heap nor throws into it.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "faults/FailingAllocator.h"
#include "faults/FaultTesting.h"
#include "functions/UiFunctions.h"
#include "harness/TestFiles.h"
#include "plugin/HandlerCache.h"
#include "abi/UiRuntime.h"
#include "sim/LinkedPlugin.h"
#include "sim/SimSession.h"
#include "sim/SimUiRuntime.h"

namespace {

using faults::CallThroughTable;
using faults::IsBoolean;

// Exit codes of a scenario's child, besides 1 for a failed check.
constexpr int kInjected = 0;
constexpr int kNothingLeftToFail = 10;
constexpr int kExceptionEscaped = 11;
constexpr std::uint64_t kMostAllocations = 200;

const std::string kMojibake = "\xC3\x8F\xC3\xB0\xC3\xA8\xC3\xA2\xC3\xA5\xC3\xB2";  // Ïðèâåò
const std::string kRepaired = "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82";  // Привет

enum class Scenario { kQuery, kLoad, kMovieCallback, kSaveFile, kRepair, kRepairOfItsOwnResult };

UiValue Undefined() { return sim::SimUiRuntime::Get().Undefined(); }

std::string TextOf(const UiValue& value) {
  if (value.kindWord != UiValue::kString || !value.payload.string) return "<not a string>";
  return value.payload.string;
}

// Runs `call` with the nth allocation failing, then ends the child: was the
// failure reached, or did the call need fewer allocations than n?
template <class Call, class Check>
[[noreturn]] void FailNthAllocation(std::uint64_t nth, Call call, Check check) {
  failing_allocator::FailAllocationNumber(nth);
  try {
    call();
  } catch (...) {
    failing_allocator::Stop();
    std::fprintf(stderr, "an exception left the call\n");
    std::exit(kExceptionEscaped);
  }
  failing_allocator::Stop();
  const bool injected = failing_allocator::Injected();
  check(injected);
  std::exit(injected ? kInjected : kNothingLeftToFail);
}

bool RepairWorks(sim::SimMovie& movie) {
  UiValue argument = sim::SimUiRuntime::Get().String(kMojibake.c_str());
  return TextOf(CallThroughTable(movie.MemberHandler("Win1251ToUTF8"), &argument, 1, Undefined())) == kRepaired;
}

void QueryFailing(std::uint64_t nth) {
  sim::SimHeap heap;
  sim::SimUiRuntime::Get().InstallHeap(&heap);
  sim::SimHost host(sim::LinkedPlugin());
  bool answer = false;
  FailNthAllocation(nth, [&] { answer = host.Query(); }, [&](bool injected) {
    CHECK_IN_CHILD(answer == !injected);
    CHECK_IN_CHILD(host.Info().infoVersion == 1 && host.Info().version == 3);
  });
}

void LoadFailing(std::uint64_t nth) {
  sim::SimHeap heap;
  sim::SimUiRuntime::Get().InstallHeap(&heap);
  sim::SimHost host(sim::LinkedPlugin());
  CHECK_IN_CHILD(host.Query());
  bool answer = false;
  FailNthAllocation(nth, [&] { answer = host.Load(); }, [&](bool) { CHECK_IN_CHILD(answer); });
}

// The game's UI heap is an allocator of its own, which answers a refusal with
// null and never reaches operator new; the simulated heap records its calls
// on the C++ heap, so an injected failure would surface inside it as an
// exception the game never throws. This one hands out blocks of a fixed arena.
class ArenaUiHeap {
 public:
  // Takes the heap word of the runtime that the host offers.
  void Install() {
    static VirtualSlot table[16] = {};
    table[UiHeap::kAllocateSlot] = reinterpret_cast<VirtualSlot>(&Allocate);
    table[UiHeap::kFreeSlot] = reinterpret_cast<VirtualSlot>(&Free);
    heap_.vtable = table;
    *const_cast<UiHeap**>(BindUiRuntime().heapWord) = &heap_;
  }

 private:
  static constexpr std::size_t kBlockSize = 64;
  static constexpr std::size_t kBlocks = 8;

  static void* QL_THISCALL Allocate(UiHeap*, std::size_t size, std::size_t) {
    static std::size_t used = 0;
    alignas(16) static unsigned char arena[kBlocks][kBlockSize];
    if (size > kBlockSize || used == kBlocks) return nullptr;
    return arena[used++];
  }
  static void QL_THISCALL Free(UiHeap*, void*) {}

  UiHeap heap_{};
};

// The simulated runtime keeps records of its calls in vectors and maps, where
// the game's runtime touches no memory of the plug-in's. Growing them first
// leaves the plug-in's own allocations as the only ones of the call.
void GrowRuntimeRecords(sim::SimMovie& movie) {
  UiValue function{};
  for (int i = 0; i < 5; ++i) ui_runtime::CreateFunction(*movie.Object(), function, nullptr);
  UiValue placeholder = sim::SimUiRuntime::Get().Undefined();
  for (const char* name : {"saveFile", "Win1251ToUTF8", "saveFile", "Win1251ToUTF8"}) {
    ui_runtime::SetMember(*movie.NamespaceObject(), name, placeholder, true);
  }
  for (int i = 0; i < 4; ++i) {
    UiValue managed = sim::SimUiRuntime::Get().ManagedObject();
    ui_runtime::ReleaseValue(managed);
  }
  sim::SimUiRuntime::Get().ClearRecords();
}

void MovieCallbackFailing(std::uint64_t nth) {
  ArenaUiHeap heap;
  heap.Install();
  sim::SimHost host(sim::LinkedPlugin());
  CHECK_IN_CHILD(host.Query() && host.Load() && host.Registrations().size() == 1);
  const UiRegisterCallback callback = host.Registrations()[0].callback;
  sim::SimMovie movie;
  GrowRuntimeRecords(movie);
  bool answer = false;
  FailNthAllocation(nth, [&] { answer = callback(movie.Object(), movie.NamespaceObject()); }, [&](bool) {
    CHECK_IN_CHILD(answer);
    // A member that was set carries the one cached handler.
    CHECK_IN_CHILD(!movie.MemberHandler("saveFile") ||
                   movie.MemberHandler("saveFile") == handlerCache.Find(typeid(SKSEScaleform_SaveFile)));
    // The next movie gets both functions, and they work.
    sim::SimMovie next;
    CHECK_IN_CHILD(callback(next.Object(), next.NamespaceObject()));
    CHECK_IN_CHILD(next.MemberHandler("saveFile") && RepairWorks(next));
    CHECK_IN_CHILD(GFxFunctionHandler::LiveCount() == 2);
  });
}

void SaveFileFailing(std::uint64_t nth) {
  const std::string directory = test_files::MakeScratchDirectory("game");
  faults::PointRuntimeRootAt(directory);
  test_files::WriteAll(directory + "/x.txt", "old");
  sim::SimSession session(sim::LinkedPlugin());
  CHECK_IN_CHILD(session.loaded);
  auto& ui = sim::SimUiRuntime::Get();
  const std::string text(300, 't');  // long enough for the heap, short strings may not be
  UiValue args[] = {ui.String("x.txt"), ui.String(text.c_str())};
  void* handler = session.movie.MemberHandler("saveFile");
  UiValue result{};
  FailNthAllocation(nth, [&] { result = CallThroughTable(handler, args, 2, Undefined()); }, [&](bool injected) {
    CHECK_IN_CHILD(IsBoolean(result, !injected));
    CHECK_EQ_IN_CHILD(test_files::ReadAll(directory + "/x.txt"), injected ? "old" : text);
    CHECK_EQ_IN_CHILD(test_files::ListDirectory(directory), "x.txt");
  });
}

void RepairFailing(std::uint64_t nth) {
  sim::SimSession session(sim::LinkedPlugin());
  CHECK_IN_CHILD(session.loaded);
  UiValue argument = sim::SimUiRuntime::Get().String(kMojibake.c_str());
  void* handler = session.movie.MemberHandler("Win1251ToUTF8");
  UiValue result{};
  FailNthAllocation(nth, [&] { result = CallThroughTable(handler, &argument, 1, Undefined()); }, [&](bool injected) {
    if (injected) {
      CHECK_IN_CHILD(result.kindWord == UiValue::kUndefined);
    } else {
      CHECK_EQ_IN_CHILD(TextOf(result), kRepaired);
    }
  });
}

// A script handing the last result straight back: the output then needs a
// block of its own while the input is read from the old one.
void RepairOfItsOwnResultFailing(std::uint64_t nth) {
  sim::SimSession session(sim::LinkedPlugin());
  CHECK_IN_CHILD(session.loaded);
  void* handler = session.movie.MemberHandler("Win1251ToUTF8");
  UiValue argument = sim::SimUiRuntime::Get().String(kMojibake.c_str());
  UiValue previous = CallThroughTable(handler, &argument, 1, Undefined());
  CHECK_EQ_IN_CHILD(TextOf(previous), kRepaired);
  UiValue result{};
  FailNthAllocation(nth, [&] { result = CallThroughTable(handler, &previous, 1, Undefined()); }, [&](bool injected) {
    if (injected) {
      CHECK_IN_CHILD(result.kindWord == UiValue::kUndefined);
    } else {
      CHECK_EQ_IN_CHILD(TextOf(result), kRepaired);
    }
  });
}

void RunScenario(Scenario scenario, std::uint64_t nth) {
  switch (scenario) {
    case Scenario::kQuery: QueryFailing(nth); break;
    case Scenario::kLoad: LoadFailing(nth); break;
    case Scenario::kMovieCallback: MovieCallbackFailing(nth); break;
    case Scenario::kSaveFile: SaveFileFailing(nth); break;
    case Scenario::kRepair: RepairFailing(nth); break;
    case Scenario::kRepairOfItsOwnResult: RepairOfItsOwnResultFailing(nth); break;
  }
  std::exit(1);
}

// Fails allocation 1, 2, ... until the call needs no more; returns how many
// allocations the call makes.
std::uint64_t FailEveryAllocationInTurn(Scenario scenario) {
  for (std::uint64_t nth = 1; nth <= kMostAllocations; ++nth) {
    // A death test's child runs this loop again and skips the earlier
    // EXPECT_EXITs without running them: their code stays kNotRun.
    constexpr int kNotRun = -2;
    int code = kNotRun;
    const auto finished = [&code](int status) {
      code = faults::ExitCodeOf(status);
      return code == kInjected || code == kNothingLeftToFail;
    };
    EXPECT_EXIT(RunScenario(scenario, nth), finished, "") << "with allocation " << nth << " failing";
    if (code != kInjected && code != kNotRun) return nth - 1;
  }
  ADD_FAILURE() << "more than " << kMostAllocations << " allocations";
  return kMostAllocations;
}

TEST(AllocationFaults, QueryAnswersFalse) {
  const std::uint64_t allocations = FailEveryAllocationInTurn(Scenario::kQuery);
  EXPECT_GT(allocations, 0u) << "the host's calls allocate";
  RecordProperty("allocations", static_cast<int>(allocations));
}

TEST(AllocationFaults, LoadAnswersTrue) {
  RecordProperty("allocations", static_cast<int>(FailEveryAllocationInTurn(Scenario::kLoad)));
}

TEST(AllocationFaults, MovieCallbackAnswersTrueAndTheNextMovieGetsBothFunctions) {
  const std::uint64_t allocations = FailEveryAllocationInTurn(Scenario::kMovieCallback);
  EXPECT_GT(allocations, 0u) << "the handler cache allocates its entries";
  RecordProperty("allocations", static_cast<int>(allocations));
}

TEST(AllocationFaults, SaveFileAnswersFalseAndKeepsTheOldFile) {
  const std::uint64_t allocations = FailEveryAllocationInTurn(Scenario::kSaveFile);
  EXPECT_GT(allocations, 0u) << "the path is built on the heap";
  RecordProperty("allocations", static_cast<int>(allocations));
}

TEST(AllocationFaults, RepairLeavesTheResultUndefined) {
  EXPECT_EQ(FailEveryAllocationInTurn(Scenario::kRepair), 1u) << "one output block";
}

TEST(AllocationFaults, RepairOfItsOwnResultLeavesTheResultUndefined) {
  EXPECT_EQ(FailEveryAllocationInTurn(Scenario::kRepairOfItsOwnResult), 1u) << "one larger block";
}

}  // namespace
