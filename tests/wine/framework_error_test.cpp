// Failed system calls: each helper raises SystemCallError with the call's own code, passes a
// success through untouched, and the application object raises what fails while it is made.
#include "framework/system_call.h"
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
