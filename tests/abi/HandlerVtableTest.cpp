// Handler objects as the UI runtime sees them: the MSVC table shape, the
// scalar deleting destructor and HandleCall reached through slot 1.

#include <gtest/gtest.h>

#include <cstring>

#include "functions/UiFunctions.h"
#include "sim/LinkedPlugin.h"
#include "sim/SimSession.h"

namespace {

using DestructorSlot = void*(QL_THISCALL*)(void* self, unsigned flags);

const VirtualSlot* TableOf(void* object) { return *static_cast<const VirtualSlot* const*>(object); }

template <class Handler>
void ExpectDestructorAtSlot0() {
  sim::SimHeap heap;
  sim::SimUiRuntime::Get().InstallHeap(&heap);
  const std::int32_t live = GFxFunctionHandler::LiveCount();

  void* kept = new Handler();
  ASSERT_NE(kept, nullptr);
  EXPECT_EQ(GFxFunctionHandler::LiveCount(), live + 1);
  auto destroy = reinterpret_cast<DestructorSlot>(TableOf(kept)[0]);
  EXPECT_EQ(destroy(kept, 0), kept);  // flag bit 0 clear: destroyed, memory kept
  EXPECT_EQ(GFxFunctionHandler::LiveCount(), live);
  EXPECT_TRUE(heap.Frees().empty());

  void* freed = new Handler();
  ASSERT_NE(freed, nullptr);
  destroy = reinterpret_cast<DestructorSlot>(TableOf(freed)[0]);
  EXPECT_EQ(destroy(freed, 1), freed);  // bit 0 set: memory back to the UI heap
  EXPECT_EQ(GFxFunctionHandler::LiveCount(), live);
  ASSERT_EQ(heap.Frees().size(), 1u);
  EXPECT_EQ(heap.Frees()[0], freed);
  sim::SimUiRuntime::Get().InstallHeap(nullptr);
}

TEST(HandlerVtable, SaveFileHasTheScalarDeletingDestructorAtSlot0) {
  ExpectDestructorAtSlot0<SKSEScaleform_SaveFile>();
}

TEST(HandlerVtable, RepairHasTheScalarDeletingDestructorAtSlot0) {
  ExpectDestructorAtSlot0<SKSEScaleform_ConvertWin1251ToUTF8>();
}

TEST(HandlerVtable, ObjectIsTheTablePointerThenTheReferenceCount) {
  sim::SimHeap heap;
  sim::SimUiRuntime::Get().InstallHeap(&heap);
  auto* handler = new SKSEScaleform_SaveFile();
  ASSERT_NE(handler, nullptr);
  EXPECT_EQ(heap.Allocations().back().size, 2 * sizeof(void*));
  const auto* words = reinterpret_cast<const unsigned char*>(handler);
  std::int32_t count = 0;
  std::memcpy(&count, words + sizeof(void*), sizeof count);
  EXPECT_EQ(count, 1);
  EXPECT_EQ(*reinterpret_cast<const void* const*>(words),
            static_cast<const void*>(&MsvcHandlerVtable<SKSEScaleform_SaveFile>::table));
  sim::SimUiRuntime::Get().InstallHeap(nullptr);
}

TEST(HandlerVtable, NoHeapMeansNoHandler) {
  sim::SimUiRuntime::Get().InstallHeap(nullptr);
  const std::int32_t live = GFxFunctionHandler::LiveCount();
  EXPECT_EQ(new SKSEScaleform_SaveFile(), nullptr);
  EXPECT_EQ(GFxFunctionHandler::LiveCount(), live);
}

TEST(HandlerVtable, HandleCallAtSlot1ResetsTheResult) {
  sim::SimSession session(sim::LinkedPlugin());
  ASSERT_TRUE(session.loaded);
  auto& runtime = sim::SimUiRuntime::Get();

  // A managed previous result is released before it is overwritten.
  runtime.ClearRecords();
  const UiValue previous = runtime.ManagedObject();
  const sim::CallOutcome save = session.movie.Call("saveFile", {}, previous);
  EXPECT_TRUE(save.IsBoolean(false));
  ASSERT_EQ(runtime.Releases().size(), 1u);
  EXPECT_EQ(runtime.Releases()[0].payload, previous.payload.object);

  const sim::CallOutcome repair = session.movie.Call("Win1251ToUTF8", {});
  EXPECT_TRUE(repair.IsUndefined());
  // Offsets 12 to 15 of a value are the UI runtime's.
  for (std::size_t i = 12; i < 16; ++i) {
    EXPECT_EQ(save.bytes[i], sim::SimMovie::kUntouched) << i;
    EXPECT_EQ(repair.bytes[i], sim::SimMovie::kUntouched) << i;
  }
}

}  // namespace
