// The per-movie callback: two UI functions on every movie, backed by one
// handler object per class for the whole process.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>

#include "functions/UiFunctions.h"
#include "harness/LogCapture.h"
#include "harness/FreshProcess.h"
#include "harness/TestFiles.h"
#include "plugin/HandlerCache.h"
#include "sim/LinkedPlugin.h"
#include "sim/SimSession.h"

namespace {

std::vector<std::string> MemberNames() {
  std::vector<std::string> names;
  for (const auto& set : sim::SimUiRuntime::Get().SetMembers()) names.push_back(set.name);
  return names;
}

TEST(RegisterScaleform, FirstMovieAllocatesOneHandlerPerClassFromTheUiHeap) {
  EXPECT_IN_FRESH_PROCESS({
    CHECK_IN_CHILD(handlerCache.Size() == 0);
    CHECK_IN_CHILD(GFxFunctionHandler::LiveCount() == 0);
    sim::SimSession session(sim::LinkedPlugin());
    CHECK_IN_CHILD(session.loaded);
    const auto& allocations = session.heap.Allocations();
    CHECK_IN_CHILD(allocations.size() == 2);
    for (const auto& allocation : allocations) {
      CHECK_IN_CHILD(allocation.size == sizeof(GFxFunctionHandler));
      CHECK_IN_CHILD(allocation.flags == 0);
    }
    CHECK_IN_CHILD(GFxFunctionHandler::LiveCount() == 2);
    CHECK_IN_CHILD(handlerCache.Size() == 2);
    auto* save = static_cast<GFxFunctionHandler*>(session.movie.MemberHandler("saveFile"));
    auto* repair = static_cast<GFxFunctionHandler*>(session.movie.MemberHandler("Win1251ToUTF8"));
    CHECK_IN_CHILD(save && repair && save != repair);
    CHECK_IN_CHILD(save->RefCount() == 1 && repair->RefCount() == 1);
    CHECK_IN_CHILD(handlerCache.Find(typeid(SKSEScaleform_SaveFile)) == save);
    CHECK_IN_CHILD(handlerCache.Find(typeid(SKSEScaleform_ConvertWin1251ToUTF8)) == repair);
  });
}

TEST(RegisterScaleform, LaterMoviesShareTheHandlersWithoutAllocating) {
  sim::SimSession session(sim::LinkedPlugin());
  ASSERT_TRUE(session.loaded);
  const std::size_t allocationsBefore = session.heap.Allocations().size();
  void* save = session.movie.MemberHandler("saveFile");
  void* repair = session.movie.MemberHandler("Win1251ToUTF8");

  sim::SimMovie second;
  EXPECT_TRUE(session.host.SetUpMovie(second));
  EXPECT_TRUE(session.host.SetUpMovie(session.movie));  // the same movie again

  EXPECT_EQ(session.heap.Allocations().size(), allocationsBefore);
  EXPECT_EQ(second.MemberHandler("saveFile"), save);
  EXPECT_EQ(second.MemberHandler("Win1251ToUTF8"), repair);
  ASSERT_EQ(second.Created().size(), 2u);
  EXPECT_EQ(second.Created()[0].handler, save);
  EXPECT_EQ(second.Created()[1].handler, repair);
  EXPECT_EQ(second.Created()[0].userData, nullptr);
  ASSERT_EQ(session.movie.Created().size(), 4u);
  EXPECT_EQ(session.movie.Created()[2].handler, save);
}

TEST(RegisterScaleform, LogsItsStartAndEndForEveryMovie) {
  sim::SimSession session(sim::LinkedPlugin());
  LogCapture log;
  sim::SimMovie movie;
  session.host.SetUpMovie(movie);
  session.host.SetUpMovie(movie);
  EXPECT_EQ(log.Text(),
            "RegisterScaleform start\r\nRegisterScaleform done\r\n"
            "RegisterScaleform start\r\nRegisterScaleform done\r\n");
}

TEST(RegisterScaleform, SetsBothMembersWithTheDisplayObjectFlagFromTheMaskedKind) {
  sim::SimSession session(sim::LinkedPlugin());
  struct Case {
    std::uint32_t kindWord;
    bool isDisplayObject;
  };
  for (const Case c : {Case{0x08, true}, Case{0x48, true}, Case{0x06, false}, Case{0x88, false},
                       Case{0x46, false}}) {
    sim::SimUiRuntime::Get().ClearRecords();
    sim::SimMovie movie(c.kindWord);
    session.host.SetUpMovie(movie);
    const auto& sets = sim::SimUiRuntime::Get().SetMembers();
    ASSERT_EQ(sets.size(), 2u);
    EXPECT_THAT(MemberNames(), testing::ElementsAre("saveFile", "Win1251ToUTF8"));
    for (const auto& set : sets) {
      EXPECT_EQ(set.isDisplayObject, c.isDisplayObject) << std::hex << c.kindWord;
      EXPECT_EQ(set.object, movie.NamespaceObject()->payload.object);
      EXPECT_EQ(set.objectInterface, movie.NamespaceObject()->objectInterface);
    }
  }
}

TEST(RegisterScaleform, ReleasesOnlyManagedTemporaries) {
  sim::SimSession session(sim::LinkedPlugin());
  auto& runtime = sim::SimUiRuntime::Get();

  runtime.ClearRecords();
  sim::SimMovie managed;
  session.host.SetUpMovie(managed);
  ASSERT_EQ(runtime.Releases().size(), 2u);
  EXPECT_EQ(runtime.Releases()[0].payload, managed.Created()[0].handler);
  EXPECT_EQ(runtime.Releases()[1].payload, managed.Created()[1].handler);

  runtime.ClearRecords();
  sim::SimMovie unmanaged;
  unmanaged.SetManagedFunctions(false);
  session.host.SetUpMovie(unmanaged);
  EXPECT_TRUE(runtime.Releases().empty());
  EXPECT_EQ(runtime.SetMembers().size(), 2u);
}

TEST(RegisterScaleform, RefusedHandlerAllocationIsLoggedAndRetriedByTheNextMovie) {
  EXPECT_IN_FRESH_PROCESS({
    sim::SimHeap heap;
    sim::SimUiRuntime::Get().InstallHeap(&heap);
    sim::SimHost host(sim::LinkedPlugin());
    CHECK_IN_CHILD(host.Query() && host.Load());
    LogCapture log;
    heap.FailNext(1);
    sim::SimMovie first;
    CHECK_IN_CHILD(host.SetUpMovie(first));
    CHECK_IN_CHILD(first.MemberHandler("saveFile") == nullptr);
    CHECK_IN_CHILD(first.MemberHandler("Win1251ToUTF8") != nullptr);
    CHECK_IN_CHILD(first.Created().size() == 1);  // no null handler reaches the runtime
    CHECK_IN_CHILD(GFxFunctionHandler::LiveCount() == 1);
    CHECK_IN_CHILD(handlerCache.Size() == 2);
    CHECK_IN_CHILD(handlerCache.Find(typeid(SKSEScaleform_SaveFile)) == nullptr);
    CHECK_IN_CHILD(log.Text() ==
                   "RegisterScaleform start\r\n"
                   "InstallUiFunction: Could not allocate handler for saveFile\r\n"
                   "RegisterScaleform done\r\n");

    sim::SimMovie second;
    host.SetUpMovie(second);
    CHECK_IN_CHILD(heap.Allocations().size() == 3);
    CHECK_IN_CHILD(second.MemberHandler("saveFile") != nullptr);
    CHECK_IN_CHILD(GFxFunctionHandler::LiveCount() == 2);
  });
}

TEST(RegisterScaleform, EveryAllocationRefusedLeavesBothFunctionsMissing) {
  EXPECT_IN_FRESH_PROCESS({
    sim::SimHeap heap;
    heap.FailAlways(true);
    sim::SimUiRuntime::Get().InstallHeap(&heap);
    sim::SimHost host(sim::LinkedPlugin());
    CHECK_IN_CHILD(host.Query() && host.Load());
    for (int i = 0; i < 3; ++i) {
      sim::SimMovie movie;
      CHECK_IN_CHILD(host.SetUpMovie(movie));
      CHECK_IN_CHILD(movie.Created().empty());
    }
    CHECK_IN_CHILD(heap.Allocations().size() == 6);
    CHECK_IN_CHILD(GFxFunctionHandler::LiveCount() == 0);
  });
}

TEST(RegisterScaleform, FindsTheUiHeapInstalledOnlyAfterLoad) {
  EXPECT_IN_FRESH_PROCESS({
    sim::SimUiRuntime::Get().InstallHeap(nullptr);
    sim::SimHost host(sim::LinkedPlugin());
    CHECK_IN_CHILD(host.Query() && host.Load());
    sim::SimHeap heap;
    sim::SimUiRuntime::Get().InstallHeap(&heap);
    sim::SimMovie movie;
    host.SetUpMovie(movie);
    CHECK_IN_CHILD(heap.Allocations().size() == 2);
    CHECK_IN_CHILD(movie.MemberHandler("saveFile") != nullptr);
  });
}

}  // namespace
