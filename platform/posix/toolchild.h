#pragma once

namespace Platform {

// Called in a tool's process before it runs the tool: ends it when this
// program ends, where the system can arrange that.
void endWithThisProgram();

} // namespace Platform
