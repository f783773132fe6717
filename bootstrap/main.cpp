// Program entry of Setup.exe.
#include <windows.h>

#include <cstdlib>

#include "bootstrap/pre_setup.h"
#include "framework/app.h"

namespace {

// Setup.exe runs elevated, usually from a downloads folder where anyone can drop a DLL beside it.
// Before anything else can load a library, the search is limited to the system directory. This
// runs during static initialisation, ahead of every other initialiser of the program.
[[gnu::init_priority(101)]] const struct RestrictDllSearch {
  RestrictDllSearch() {
    ::SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
    ::SetDllDirectoryW(L"");
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
  return 0;
}
