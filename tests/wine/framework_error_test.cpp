// Failed system calls: each helper raises SystemCallError with the call's own code, passes a
// success through untouched, and the application object raises what fails while it is made. A
// table of functions loaded at run time tells what it is missing.
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

// Three functions of kernel32 (the second one asked for by the name given), as the tables do.
struct Kernel32Table {
  explicit Kernel32Table(const wchar_t* library, const char* second) {
    loaded = kernel32.Load(library, fw::SystemFunction{"GetTickCount64", GetTickCount64},
                           fw::SystemFunction{second, GetCurrentProcessId},
                           fw::SystemFunction{"GetCurrentThreadId", GetCurrentThreadId});
    error = ::GetLastError();
  }
  fw::SystemLibrary kernel32;
  bool loaded = false;
  DWORD error = 0;
  decltype(&::GetTickCount64) GetTickCount64 = nullptr;
  decltype(&::GetCurrentProcessId) GetCurrentProcessId = nullptr;
  decltype(&::GetCurrentThreadId) GetCurrentThreadId = nullptr;
};

TEST(SystemLibrary, ATableLoadsEveryFunctionOrTellsTheFirstThingMissing) {
  const struct {
    const wchar_t* library;
    const char* second;
    bool loaded;
    const char* missing;  // null: nothing
    DWORD error;          // GetLastError() after a failure
    int found;            // how many pointers were filled, in order
  } cases[] = {
      {L"kernel32.dll", "GetCurrentProcessId", true, nullptr, 0, 3},
      {L"kernel32.dll", "NoSuchFunction", false, "NoSuchFunction", ERROR_PROC_NOT_FOUND, 1},
      {L"no-such-library.dll", "GetCurrentProcessId", false, "", ERROR_MOD_NOT_FOUND, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.second);
    const Kernel32Table table(c.library, c.second);
    EXPECT_EQ(table.loaded, c.loaded);
    if (c.missing == nullptr) {
      EXPECT_EQ(table.kernel32.Missing(), nullptr);
    } else {
      ASSERT_NE(table.kernel32.Missing(), nullptr);
      EXPECT_STREQ(table.kernel32.Missing(), c.missing);
      EXPECT_EQ(table.error, c.error);
    }
    EXPECT_EQ(table.GetTickCount64 != nullptr, c.found >= 1);
    EXPECT_EQ(table.GetCurrentProcessId != nullptr, c.found >= 2);
    EXPECT_EQ(table.GetCurrentThreadId != nullptr, c.found >= 3);
    EXPECT_EQ(table.kernel32.Module() != nullptr, c.found >= 1);
    if (c.found == 3) {
      // The pointers reach the real functions, each with its declared type.
      EXPECT_EQ(table.GetCurrentProcessId(), ::GetCurrentProcessId());
      EXPECT_EQ(table.GetCurrentThreadId(), ::GetCurrentThreadId());
    }
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
