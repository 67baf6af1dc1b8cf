#pragma once
// Immediate, abnormal end of the process.

namespace os {

// Ends the process at once: nothing is unwound, no exit-time clean-up runs and
// open C streams are not flushed. Never returns.
[[noreturn]] void HaltProcess();

}  // namespace os
