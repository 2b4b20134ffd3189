// The single-instance check: one installer at a time per session.
#pragma once

namespace sf {

// True when this process is the only running installer. Otherwise brings the running installer's
// wizard window to the front and answers false. The named mutex stays held until the process ends.
bool CheckSingleInstance();

}  // namespace sf
