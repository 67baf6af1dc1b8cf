#include "plugin/HandlerCache.h"

#include "support/IDebugLog.h"

GFxFunctionHandler* HandlerCache::Find(const std::type_info& type) const {
  const auto found = entries_.find(&type);
  return found == entries_.end() ? nullptr : found->second;
}

GFxFunctionHandler*& HandlerCache::Entry(const std::type_info& type) { return entries_[&type]; }

namespace {

// The temporary function value; released on every way out when the runtime
// handed back a managed one.
class TemporaryValue {
 public:
  TemporaryValue() { value_.objectInterface = nullptr; value_.kindWord = UiValue::kUndefined; }
  ~TemporaryValue() {
    if (value_.IsManaged()) ui_runtime::ReleaseValue(value_);
  }
  TemporaryValue(const TemporaryValue&) = delete;
  TemporaryValue& operator=(const TemporaryValue&) = delete;
  UiValue& value() { return value_; }

 private:
  UiValue value_;
};

}  // namespace

void InstallHandler(UiValue& namespaceObject, UiMovie& movie, const char* memberName,
                    GFxFunctionHandler* handler) {
  TemporaryValue function;
  ui_runtime::CreateFunction(movie, function.value(), handler);
  const bool isDisplayObject = namespaceObject.KindCode() == UiValue::kDisplayObject;
  ui_runtime::SetMember(namespaceObject, memberName, function.value(), isDisplayObject);
}

void ReportHandlerAllocationFailure(const char* memberName) {
  LogProblem("InstallUiFunction: Could not allocate handler for %s", memberName);
}
