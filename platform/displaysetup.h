#pragma once

namespace Platform {

// Settles how the window will be drawn; called before the application
// object exists, since Qt reads these choices when it starts.
void prepareDisplay();

} // namespace Platform
