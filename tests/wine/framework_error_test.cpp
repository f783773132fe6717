// Failed system calls: each helper raises SystemCallError with the call's own code, passes a
// success through untouched, and the application object raises what fails while it is made. A
// table of functions loaded at run time is there whole or tells what is missing.
#include "framework/system_call.h"
#include "framework/system_library.h"
#include "tests/wine/framework_fixture.h"

namespace test {
namespace {

// The message of the fw::Error that call raises, or a marker when it raises nothing.
template <typename Call>
std::wstring Raised(Call call) {
  try {
    call();
  } catch (const fw::Error& e) {
    return e.Message();
  }
  return L"(nothing raised)";
}

TEST(SystemCall, AFailedCallRaisesWhatFailedWithItsCode) {
  const struct {
    const char* call;
    std::function<void()> run;
    std::wstring message;
  } cases[] = {
      {"CreateWindowExW, a child without a parent",
       [] {
         fw::ThrowIfNull(::CreateWindowExW(0, L"STATIC", L"", WS_CHILD, 0, 0, 0, 0, nullptr,
                                           nullptr, fw::ModuleInstance(), nullptr),
                         L"Cannot create a window");
       },
       L"Cannot create a window EC=1406"},
      {"GetModuleHandleW, not loaded",
       [] { fw::ThrowIfNull(::GetModuleHandleW(L"no-such-module.dll"), L"No module"); },
       L"No module EC=126"},
      {"SetEvent, no handle",
       [] { fw::ThrowLastErrorIf(::SetEvent(nullptr) == FALSE, L"Cannot signal"); },
       L"Cannot signal EC=6"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Raised(c.run), c.message) << c.call;
  }
}

TEST(SystemCall, ASucceededCallPassesThroughWhateverTheLastErrorSays) {
  ::SetLastError(ERROR_ACCESS_DENIED);
  const HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
  ASSERT_NE(kernel, nullptr);
  ::SetLastError(ERROR_ACCESS_DENIED);
  EXPECT_EQ(Raised([&] { EXPECT_EQ(fw::ThrowIfNull(kernel, L"No module"), kernel); }),
            L"(nothing raised)");
  EXPECT_EQ(Raised([] { fw::ThrowLastErrorIf(false, L"Cannot signal"); }), L"(nothing raised)");
}

// Tables as the program declares them: over DLLs the process has, with a function kernel32 does
// not export, and over a DLL that does not exist.
struct Kernel32Table : fw::FunctionTable {
  static constexpr wchar_t kLibrary[] = L"kernel32.dll";
  FW_SYSTEM_FUNCTION(GetCurrentProcessId);
  FW_SYSTEM_FUNCTION(GetCurrentThreadId);
};
struct User32Table : fw::FunctionTable {
  static constexpr wchar_t kLibrary[] = L"user32.dll";
  FW_SYSTEM_FUNCTION(GetDesktopWindow);
};
struct MissingFunctionTable : fw::FunctionTable {
  static constexpr wchar_t kLibrary[] = L"kernel32.dll";
  FW_SYSTEM_FUNCTION(GetTickCount64);
  fw::SystemFunction<DWORD(WINAPI*)()> NoSuchFunction{this, "NoSuchFunction"};
};
struct MissingLibraryTable : fw::FunctionTable {
  static constexpr wchar_t kLibrary[] = L"no-such-library.dll";
  FW_SYSTEM_FUNCTION(GetTickCount64);
};

TEST(SystemLibrary, ATableLoadsOnceAndCallsTheSystemsFunctions) {
  using Tables = fw::Library<Kernel32Table, User32Table>;
  const Tables* tables = Tables::Get();
  ASSERT_NE(tables, nullptr);
  EXPECT_EQ(Tables::Outcome().missing, nullptr);
  // The pointers reach the real functions, each with its declared type.
  EXPECT_EQ(tables->GetCurrentProcessId(), ::GetCurrentProcessId());
  EXPECT_EQ(tables->GetCurrentThreadId(), ::GetCurrentThreadId());
  EXPECT_EQ(tables->GetDesktopWindow(), ::GetDesktopWindow());
  EXPECT_EQ(Tables::Module(), ::GetModuleHandleW(L"kernel32.dll"));
  EXPECT_EQ(Tables::Get(), tables);
  EXPECT_EQ(&Tables::Require(), tables);
}

// What a user of a table gets when something is missing: null to go without, the outcome's code
// to refuse with, and the error Require raises, with the system's text when it is given a source.
template <typename Tables>
void ExpectMissing(const char* missing, const wchar_t* library, DWORD error,
                   const std::wstring& what) {
  EXPECT_EQ(Tables::Get(), nullptr);
  ASSERT_NE(Tables::Outcome().missing, nullptr);
  EXPECT_STREQ(Tables::Outcome().missing, missing);
  EXPECT_STREQ(Tables::Outcome().library, library);
  EXPECT_EQ(Tables::Outcome().error, error);
  const std::wstring code = std::to_wstring(error);
  EXPECT_EQ(Raised([] { Tables::Require(); }), what + L" EC=" + code);
  EXPECT_EQ(Raised([] { Tables::Require([](DWORD c) { return L"text " + std::to_wstring(c); }); }),
            what + L": text " + code + L" EC=" + code);
}

TEST(SystemLibrary, WhatIsMissingIsNamedAndNoTableIsHalfLoaded) {
  {
    SCOPED_TRACE("a function kernel32 does not export");
    ExpectMissing<fw::Library<MissingFunctionTable>>(
        "NoSuchFunction", L"kernel32.dll", ERROR_PROC_NOT_FOUND,
        L"Cannot load NoSuchFunction from kernel32.dll");
  }
  {
    SCOPED_TRACE("a library that does not exist");
    using Tables = fw::Library<MissingLibraryTable>;
    ExpectMissing<Tables>("", L"no-such-library.dll", ERROR_MOD_NOT_FOUND,
                          L"Cannot load no-such-library.dll");
    EXPECT_EQ(Tables::Module(), nullptr);
  }
  {
    SCOPED_TRACE("one missing DLL of several");
    ExpectMissing<fw::Library<Kernel32Table, MissingLibraryTable, User32Table>>(
        "", L"no-such-library.dll", ERROR_MOD_NOT_FOUND, L"Cannot load no-such-library.dll");
  }
}

TEST_F(FrameworkTest, ASecondApplicationRaisesAndLeavesTheFirstWorking) {
  const HWND first = fw::App().Handle();
  ASSERT_NE(first, nullptr);
  // The class is the process's one application's: a second cannot register it.
  EXPECT_EQ(Raised([] { fw::Application second; }),
            L"Cannot register a window class EC=" + std::to_wstring(ERROR_CLASS_ALREADY_EXISTS));
  EXPECT_TRUE(::IsWindow(first));
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  EXPECT_NE(::GetClassInfoExW(fw::ModuleInstance(), L"fw.Application", &wc), 0)
      << "the failed one took the class away";
  // The first still runs hand-offs and timers through its window.
  bool ran = false;
  fw::Timer timer;
  timer.SetInterval(1);
  timer.OnTimer = [&](fw::Timer& t) {
    ran = true;
    t.SetEnabled(false);
  };
  timer.SetEnabled(true);
  for (int i = 0; i < 2000 && !ran; ++i) {
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    fw::App().ProcessMessages();
  }
  EXPECT_TRUE(ran);
}

}  // namespace
}  // namespace test
