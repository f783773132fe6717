#include "bootstrap/network/connectivity.h"

#include <windows.h>

#include "bootstrap/log/support_log.h"
#include "bootstrap/network/network_worker.h"
#include "bootstrap/network/wininet_library.h"
#include "build_settings.h"
#include "framework/off_window.h"

namespace setup {
namespace {

// Tests cannot take the machine off the network under Wine; builds with test seams let them make
// the system's answer "not connected" (SETUP_TEST_REPORT_OFFLINE=1).
bool TestSaysOffline() {
  if constexpr (kTestSeams) {
    wchar_t value[4] = {};
    return ::GetEnvironmentVariableW(L"SETUP_TEST_REPORT_OFFLINE", value, 4) == 1 &&
           value[0] == L'1';
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
