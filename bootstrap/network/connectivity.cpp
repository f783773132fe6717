#include "bootstrap/network/connectivity.h"

#include <windows.h>

#include "bootstrap/log/support_log.h"
#include "bootstrap/network/network_worker.h"
#include "bootstrap/network/wininet_library.h"
#include "bootstrap/vocabulary/test_seam.h"
#include "build_settings.h"
#include "framework/off_window.h"

namespace setup {
namespace {

// Tests cannot take the machine off the network under Wine; builds with test seams let them make
// the system's answer "not connected" (SETUP_TEST_REPORT_OFFLINE=1).
bool TestSaysOffline() {
  if constexpr (kTestSeams) {
    return TestSeamNumber(L"SETUP_TEST_REPORT_OFFLINE") == 1u;
  } else {
    return false;
  }
}

}  // namespace

bool SystemReportsConnected() {
  const fw::SharedState<BOOL> connected;
  *connected = TRUE;
  const bool answered = RunRequestOffWindow([connected](fw::WorkActivity&) {
    DWORD flags = 0;
    *connected = WinInetLibrary::Get().InternetGetConnectedState(&flags, 0);
  });
  if (!answered) {
    support_log::Write(L"connection state: no answer in time; asking the service");
    return true;
  }
  if (*connected && !TestSaysOffline()) {
    return true;
  }
  support_log::Write(L"connection state: the system says not connected; asking the service");
  return false;
}

}  // namespace setup
