// The UI heap refusing handler blocks at installations other than the ones
// the registration suite covers (the first block, and every block): the
// second block of a movie, and a retry refused again. A refused function is
// missing from that movie only, the other one works, and a later movie gets
// it once the heap gives a block.

#include <gtest/gtest.h>

#include <string>

#include "faults/FaultTesting.h"
#include "functions/UiFunctions.h"
#include "harness/LogCapture.h"
#include "harness/TestFiles.h"
#include "plugin/HandlerCache.h"
#include "sim/LinkedPlugin.h"
#include "sim/SimHost.h"
#include "sim/SimMovie.h"
#include "sim/SimUiRuntime.h"

namespace {

using faults::LogLine;

const std::string kMojibake = "\xC3\x8F\xC3\xB0\xC3\xA8\xC3\xA2\xC3\xA5\xC3\xB2";  // Ïðèâåò
const std::string kRepaired = "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82";  // Привет

std::string Refused(const std::string& member) {
  return LogLine("RegisterScaleform start") +
         LogLine("InstallUiFunction: Could not allocate handler for " + member) +
         LogLine("RegisterScaleform done");
}

bool RepairWorks(sim::SimMovie& movie) {
  return movie.Call("Win1251ToUTF8", {sim::SimUiRuntime::Get().String(kMojibake.c_str())}).Text() == kRepaired;
}

bool SaveAnswers(sim::SimMovie& movie) {
  // No arguments: refused before any file is touched, with the result false.
  return movie.Call("saveFile", {}).IsBoolean(false);
}

void SecondBlockOfTheFirstMovieRefused() {
  sim::SimHeap heap;
  sim::SimUiRuntime::Get().InstallHeap(&heap);
  sim::SimHost host(sim::LinkedPlugin());
  CHECK_IN_CHILD(host.Query() && host.Load());

  // The first block is given (the saveFile handler), the second is refused.
  sim::SimMovie warmUp;
  InstallUiFunction<SKSEScaleform_SaveFile>(*warmUp.NamespaceObject(), *warmUp.Object(), "saveFile");
  CHECK_IN_CHILD(heap.Allocations().size() == 1);
  LogCapture log;
  heap.FailNext(1);
  sim::SimMovie first;
  CHECK_IN_CHILD(host.SetUpMovie(first));
  CHECK_IN_CHILD(heap.Allocations().size() == 2);
  CHECK_EQ_IN_CHILD(log.Text(), Refused("Win1251ToUTF8"));
  CHECK_IN_CHILD(first.MemberHandler("Win1251ToUTF8") == nullptr);
  CHECK_IN_CHILD(first.MemberHandler("saveFile") == warmUp.MemberHandler("saveFile"));
  CHECK_IN_CHILD(SaveAnswers(first));
  CHECK_IN_CHILD(handlerCache.Find(typeid(SKSEScaleform_ConvertWin1251ToUTF8)) == nullptr);
  CHECK_IN_CHILD(GFxFunctionHandler::LiveCount() == 1);

  sim::SimMovie second;
  CHECK_IN_CHILD(host.SetUpMovie(second));
  CHECK_IN_CHILD(heap.Allocations().size() == 3);
  CHECK_IN_CHILD(RepairWorks(second));
  CHECK_IN_CHILD(second.MemberHandler("saveFile") == warmUp.MemberHandler("saveFile"));
  CHECK_IN_CHILD(GFxFunctionHandler::LiveCount() == 2);
}

TEST(UiHeapFaults, SecondBlockRefusedLeavesOnlyThatFunctionMissing) {
  EXPECT_IN_FRESH_PROCESS(SecondBlockOfTheFirstMovieRefused());
}

void RetryRefusedAgain() {
  sim::SimHeap heap;
  sim::SimUiRuntime::Get().InstallHeap(&heap);
  sim::SimHost host(sim::LinkedPlugin());
  CHECK_IN_CHILD(host.Query() && host.Load());
  LogCapture log;

  heap.FailNext(1);
  sim::SimMovie first;
  CHECK_IN_CHILD(host.SetUpMovie(first));
  heap.FailNext(1);  // the retry of the saveFile handler
  sim::SimMovie second;
  CHECK_IN_CHILD(host.SetUpMovie(second));
  CHECK_EQ_IN_CHILD(log.Text(), Refused("saveFile") + Refused("saveFile"));
  CHECK_IN_CHILD(heap.Allocations().size() == 3);  // both refused, and the repair handler
  for (sim::SimMovie* movie : {&first, &second}) {
    CHECK_IN_CHILD(movie->MemberHandler("saveFile") == nullptr);
    CHECK_IN_CHILD(RepairWorks(*movie));
  }
  CHECK_IN_CHILD(GFxFunctionHandler::LiveCount() == 1);

  sim::SimMovie third;
  CHECK_IN_CHILD(host.SetUpMovie(third));
  CHECK_IN_CHILD(heap.Allocations().size() == 4);
  CHECK_IN_CHILD(SaveAnswers(third) && RepairWorks(third));
  CHECK_IN_CHILD(third.MemberHandler("Win1251ToUTF8") == first.MemberHandler("Win1251ToUTF8"));
  CHECK_IN_CHILD(GFxFunctionHandler::LiveCount() == 2);
  CHECK_IN_CHILD(heap.LiveBlocks() == 2);
}

TEST(UiHeapFaults, RetryRefusedAgainIsRetriedByTheNextMovie) {
  EXPECT_IN_FRESH_PROCESS(RetryRefusedAgain());
}

void HeapGoneAfterTheHandlersExist() {
  sim::SimHeap heap;
  sim::SimUiRuntime::Get().InstallHeap(&heap);
  sim::SimHost host(sim::LinkedPlugin());
  CHECK_IN_CHILD(host.Query() && host.Load());
  sim::SimMovie first;
  CHECK_IN_CHILD(host.SetUpMovie(first));

  // Cached handlers need no block: a heap that refuses everything changes nothing.
  heap.FailAlways(true);
  LogCapture log;
  sim::SimMovie second;
  CHECK_IN_CHILD(host.SetUpMovie(second));
  CHECK_EQ_IN_CHILD(log.Text(), LogLine("RegisterScaleform start") + LogLine("RegisterScaleform done"));
  CHECK_IN_CHILD(heap.Allocations().size() == 2);
  CHECK_IN_CHILD(SaveAnswers(second) && RepairWorks(second));
}

TEST(UiHeapFaults, RefusalsAfterTheFirstInstallationsCostNothing) {
  EXPECT_IN_FRESH_PROCESS(HeapGoneAfterTheHandlersExist());
}

}  // namespace
