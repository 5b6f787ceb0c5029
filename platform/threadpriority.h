#pragma once

namespace Platform {

// Lowers the calling thread's priority a little, below the window's, where
// the system can do that for one thread alone.
void lowerThisThreadsPriority();

} // namespace Platform
