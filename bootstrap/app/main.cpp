// Program entry of Setup.exe.
#include <windows.h>

#include <cstdlib>

#include "bootstrap/app/pre_setup.h"
#include "bootstrap/log/support_log.h"
#include "framework/app.h"
#include "framework/system_library.h"

namespace {

// SetDefaultDllDirectories is looked up at run time: Windows 7 has it only with its DLL-search
// update, and a static import would keep Setup from starting at all there.
struct DllSearch : fw::FunctionTable {
  static constexpr wchar_t kLibrary[] = L"kernel32.dll";
  FW_SYSTEM_FUNCTION(SetDefaultDllDirectories);
};

// Setup.exe runs elevated, usually from a downloads folder where anyone can drop a DLL beside it.
// Before anything else can load a library, the search is limited to the system directory. This
// runs during static initialisation, ahead of every other initialiser of the program. Without
// SetDefaultDllDirectories (or when it fails), the safest order left is the current directory
// taken out of the search and the safe search mode for SearchPath.
[[gnu::init_priority(101)]] const struct RestrictDllSearch {
  RestrictDllSearch() {
    const auto* kernel32 = fw::Library<DllSearch>::Get();
    const bool restricted = kernel32 != nullptr && kernel32->SetDefaultDllDirectories(
                                                       LOAD_LIBRARY_SEARCH_SYSTEM32) != FALSE;
    ::SetDllDirectoryW(L"");
    if (!restricted) {
      ::SetSearchPathMode(BASE_SEARCH_PATH_ENABLE_SAFE_SEARCHMODE | BASE_SEARCH_PATH_PERMANENT);
    }
  }
} restrict_dll_search;

}  // namespace

// Every handler runs guarded by the default error report, so nothing reaches terminate with an
// exception in flight. The library's verbose handler would only add a 45 KiB name demangler.
namespace __gnu_cxx {
void __verbose_terminate_handler() {
  std::abort();
}
}  // namespace __gnu_cxx

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  fw::Application& app = fw::App();
  setup::SavedCursor = app.Cursor();
  app.SetTitle(setup::kApplicationTitle);
  setup::TPreSetupBox PreSetupBox;
  app.Run(PreSetupBox);
  setup::support_log::Write(L"Setup ends");
  setup::support_log::Stop();
  return 0;
}
