#include "os/FileDialogs.h"

namespace os {

bool ChooseFileToOpen(char*, std::uint32_t) { return false; }

bool ChooseFileToSave(char*, std::uint32_t, const char*, const char*) { return false; }

}  // namespace os
