#include "os/ProcessHalt.h"

#include <cstdlib>

namespace os {

void HaltProcess() { std::abort(); }

}  // namespace os
