#pragma once

#include <functional>

namespace Platform {

// Called in a tool's process before it runs the tool: ends it when this
// program ends, where the system can arrange that.
void endWithThisProgram();

// Before the tool is killed: what waits for the process to have ended (its
// files closed), where the system can tell without reaping it.
std::function<bool(int timeoutMs)> watchForEnd(long long processId);

} // namespace Platform
