#pragma once
// Outside the game, the host executable provides the UI runtime's code through
// this C-ABI seam: it exports `QuiverleafUiRuntime`, a function without
// arguments returning a pointer to this table. Layout and rules: docs/abi.md.

#include <cstdint>

#include "abi/HostRecords.h"

struct UiHeap;

extern "C" {

struct QuiverleafUiRuntimeSeam {
  std::uint32_t size;  // sizeof(QuiverleafUiRuntimeSeam) as the host built it
  void (*release)(void* objectInterface, UiValue* value, void* payload);
  bool (*setMember)(void* objectInterface, void* object, const char* name, const UiValue* value,
                    bool isDisplayObject);
  UiHeap* const* heapWord;  // the word that holds the UI heap's address, or null
};

typedef const QuiverleafUiRuntimeSeam* (*QuiverleafUiRuntimeFn)(void);
}

inline constexpr char kUiRuntimeSeamSymbol[] = "QuiverleafUiRuntime";
