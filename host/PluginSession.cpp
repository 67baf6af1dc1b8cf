#include "host/PluginSession.h"

namespace {

using QueryFunction = bool (*)(const HostInterface*, PluginInfo*);
using LoadFunction = bool (*)(const HostInterface*);

UiValue ToUiValue(const ArgumentValue& argument) {
  // Script arguments reach a handler as managed strings.
  sim::SimUiRuntime& runtime = sim::SimUiRuntime::Get();
  return argument.wide ? runtime.ManagedWideString(argument.wideText) : runtime.ManagedString(argument.narrow);
}

CallResult CopyResult(const UiValue& value) {
  CallResult result;
  result.kindCode = value.KindCode();
  if (result.kindCode == UiValue::kBoolean) result.boolean = value.payload.boolean != 0;
  if (result.kindCode == UiValue::kString) {
    const char* text = value.StringText();
    if (text) result.text = text;
  }
  return result;
}

}  // namespace

PluginSession::PluginSession(const std::string& pluginPath) : library_(pluginPath) {
  if (!library_.IsOpen()) {
    problem_ = library_.Error();
    return;
  }
  const auto query = reinterpret_cast<QueryFunction>(library_.Find("SKSEPlugin_Query"));
  const auto load = reinterpret_cast<LoadFunction>(library_.Find("SKSEPlugin_Load"));
  if (!query || !load) {
    problem_ = "it does not export SKSEPlugin_Query and SKSEPlugin_Load";
    return;
  }

  sim::SimUiRuntime::Get().InstallHeap(&heap_);
  host_.emplace(sim::PluginEntryPoints{query, load});
  if (!host_->Query()) {
    state_ = SessionState::kQueryRefused;
    problem_ = "it refused the query";
    return;
  }
  host_->Load();
  host_->SetUpMovie(movie_);
  state_ = SessionState::kReady;
}

PluginSession::~PluginSession() { sim::SimUiRuntime::Get().InstallHeap(nullptr); }

std::optional<CallResult> PluginSession::Call(const std::string& function,
                                              const std::vector<ArgumentValue>& arguments) {
  void* handler = movie_.MemberHandler(function);
  if (state_ != SessionState::kReady || !handler) return std::nullopt;
  std::vector<UiValue> values;
  for (const ArgumentValue& argument : arguments) values.push_back(ToUiValue(argument));
  return CopyResult(sim::SimMovie::CallHandler(handler, std::move(values), nullptr).result);
}
