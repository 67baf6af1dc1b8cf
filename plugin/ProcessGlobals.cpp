// Process-wide objects of the plug-in, in one unit so that their order is
// fixed: the handler cache is built before the log is opened, and torn down
// after the log is closed.

#include "plugin/HandlerCache.h"
#include "support/IDebugLog.h"

HandlerCache handlerCache;
IDebugLog theDebugLog("skse_quiverleaf_extensions.log");
