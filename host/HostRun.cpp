#include "host/HostRun.h"

#include <cstdio>
#include <optional>

#include "host/ArgumentValues.h"
#include "host/CommandLine.h"
#include "host/ExitCodes.h"
#include "host/PluginLog.h"
#include "host/PluginSession.h"
#include "host/ResultOutput.h"
#include "host/ScratchDirectory.h"
#include "host/os/HostProcess.h"
#include "host/os/StandardOutput.h"

namespace {

int UsageError(const std::string& problem) {
  std::fprintf(stderr, "quiverleaf-host: %s\nTry quiverleaf-host --help.\n", problem.c_str());
  return exit_code::kUsage;
}

struct SessionOutcome {
  SessionState state = SessionState::kPluginNotLoaded;
  std::string problem;
  std::optional<CallResult> result;  // nothing: no such function
  std::uintmax_t callLogStart = 0;   // where the call's log lines begin
};

// The plug-in is unloaded on return, so its log is complete. Its echo on
// standard output is dropped: the log holds the same lines and more.
SessionOutcome CallInSession(const std::string& pluginPath, const HostOptions& options,
                             const std::vector<ArgumentValue>& arguments, const std::filesystem::path& log) {
  const host_os::SilencedStandardOutput silenced;
  PluginSession session(pluginPath);
  SessionOutcome outcome;
  outcome.state = session.State();
  outcome.problem = session.Problem();
  if (outcome.state != SessionState::kReady) return outcome;
  outcome.callLogStart = PluginLogSize(log);
  outcome.result = session.Call(options.function, arguments);
  return outcome;
}

int Run(const HostOptions& options, const std::vector<ArgumentValue>& arguments) {
  const std::string directory = host_os::ExecutableDirectory();
  if (directory.empty()) {
    std::fputs("quiverleaf-host: cannot find the directory of this program\n", stderr);
    return exit_code::kPluginUnavailable;
  }
  const std::string pluginPath = directory + host_os::PluginFileName();

  const ScratchDirectory scratch;
  if (!scratch.Entered()) {
    std::fprintf(stderr, "quiverleaf-host: %s\n", scratch.Problem().c_str());
    return exit_code::kPluginUnavailable;
  }
  const std::filesystem::path log = scratch.Path() / kPluginLogName;
  const SessionOutcome outcome = CallInSession(pluginPath, options, arguments, log);

  if (options.log) {
    std::fprintf(stderr, "--- log %s\n", PathText(log).c_str());
    PrintPluginLog(log, 0);
  } else if (outcome.state != SessionState::kPluginNotLoaded) {
    // What the plug-in logged about this call (about the query, when it refused).
    PrintPluginLog(log, outcome.callLogStart);
  }

  switch (outcome.state) {
    case SessionState::kPluginNotLoaded:
      std::fprintf(stderr, "quiverleaf-host: cannot load the plug-in %s: %s\n", pluginPath.c_str(),
                   outcome.problem.c_str());
      return exit_code::kPluginUnavailable;
    case SessionState::kQueryRefused:
      std::fprintf(stderr, "quiverleaf-host: the plug-in %s %s\n", pluginPath.c_str(), outcome.problem.c_str());
      return exit_code::kPluginUnavailable;
    case SessionState::kReady:
      break;
  }
  if (!outcome.result) {
    return UsageError("the plug-in put no function " + options.function +
                      " on the namespace object (it has saveFile and Win1251ToUTF8)");
  }
  return PrintResult(*outcome.result, options.hex);
}

}  // namespace

int RunHost(const std::vector<std::string>& words) {
  host_os::PrepareStandardOutputForBytes();
  const ParsedCommandLine parsed = ParseCommandLine(words);
  if (!parsed.options) return UsageError(parsed.error);
  const HostOptions& options = *parsed.options;
  if (options.help) {
    std::fputs(UsageText(), stdout);
    return exit_code::kStringOrTrue;
  }
  std::string problem;
  const std::optional<std::vector<ArgumentValue>> arguments = ConvertArguments(options, problem);
  if (!arguments) return UsageError(problem);
  return Run(options, *arguments);
}
