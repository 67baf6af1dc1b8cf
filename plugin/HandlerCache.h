#pragma once
// One shared handler object per handler class for the whole process, and the
// installation of a UI function on a movie's namespace object.

#include <map>
#include <typeinfo>

#include "abi/FunctionHandler.h"
#include "abi/UiRuntime.h"

class HandlerCache {
 public:
  // The cached handler of a class, or null (none yet, or its allocation failed).
  GFxFunctionHandler* Find(const std::type_info& type) const;
  // The entry of a class, added empty when missing; may throw std::bad_alloc.
  GFxFunctionHandler*& Entry(const std::type_info& type);
  std::size_t Size() const { return entries_.size(); }

 private:
  // Plain pointers: handlers belong to the UI runtime once handed over, and
  // tearing the cache down at exit must not call into the game's heap.
  std::map<const std::type_info*, GFxFunctionHandler*> entries_;
};

extern HandlerCache handlerCache;

// Puts a new function object around `handler` on the namespace object as
// `memberName`.
void InstallHandler(UiValue& namespaceObject, UiMovie& movie, const char* memberName,
                    GFxFunctionHandler* handler);
void ReportHandlerAllocationFailure(const char* memberName);

template <class Handler>
void InstallUiFunction(UiValue& namespaceObject, UiMovie& movie, const char* memberName) {
  GFxFunctionHandler*& cached = handlerCache.Entry(typeid(Handler));
  if (!cached) {
    cached = new Handler();  // null when the UI heap gives no block
    if (!cached) {
      ReportHandlerAllocationFailure(memberName);
      return;
    }
  }
  InstallHandler(namespaceObject, movie, memberName, cached);
}
