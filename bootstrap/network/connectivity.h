// What the system believes of the machine's Internet connection. WinInet documents its answer as
// a hint, not a fact: a false "not connected" is common on working networks (VPNs, proxies, some
// adapters). The run therefore never ends on it alone; it only decides how a failed query reads.
#pragma once

namespace setup {

// False only when the system says the machine is not connected. Asked off the window under the
// stall limit: a system that does not answer in time counts as connected, so the query decides.
bool SystemReportsConnected();

}  // namespace setup
