// Opening a page or file as the person at the desktop would. Setup runs elevated, and whatever it
// starts itself inherits that: a browser with administrator rights. The desktop's own shell (the
// Explorer process that draws the desktop, not elevated) is asked to open it instead.
#pragma once

#include <string>

namespace setup {

// Asks the desktop's shell to open the target with the verb "open", shown normally, and returns
// without waiting for what it starts. True when the shell accepted the request; false when there is
// no desktop shell to ask (no Explorer drawing the desktop) or a step on the way to it failed, so
// that the caller can open the target itself. COM is left on the calling thread as it
// was found (apartment-threaded for the call when the thread had none).
bool OpenInDesktopShell(const std::wstring& target);

}  // namespace setup
