// The baseline for the download benchmark: the same WinInet calls and 10240-byte reads as Setup's
// download, written to a file, with no window, no pumping and no progress display.
//   wininet_loop.exe URL OUTFILE
// Prints "bytes seconds MiB/s".
#include <windows.h>
#include <wininet.h>

#include <cstdio>
#include <vector>

#include "framework/handle.h"

namespace {

void CloseInternet(HINTERNET h) noexcept {
  ::InternetCloseHandle(h);
}
using Internet = fw::UniqueHandle<HINTERNET, fw::NullHandleTraits<HINTERNET, CloseInternet>>;

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: wininet_loop URL OUTFILE\n");
    return 2;
  }
  LARGE_INTEGER frequency, start, end;
  ::QueryPerformanceFrequency(&frequency);
  ::QueryPerformanceCounter(&start);
  Internet internet(
      ::InternetOpenW(L"wininet_loop.exe", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
  Internet request(
      internet ? ::InternetOpenUrlW(internet.get(), argv[1], nullptr, 0, INTERNET_FLAG_RELOAD, 0)
               : nullptr);
  fw::FileHandle file(::CreateFileW(argv[2], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!request || !file) {
    std::fprintf(stderr, "cannot open: %lu\n", ::GetLastError());
    return 1;
  }
  std::vector<char> buffer(10240);
  long long total = 0;
  DWORD count = 0;
  do {
    count = 0;
    ::InternetReadFile(request.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &count);
    DWORD written = 0;
    if (count > 0 &&
        (!::WriteFile(file.get(), buffer.data(), count, &written, nullptr) || written != count)) {
      std::fprintf(stderr, "write failed: %lu\n", ::GetLastError());
      return 1;
    }
    total += count;
  } while (count > 0);
  ::QueryPerformanceCounter(&end);
  const double seconds =
      static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
  std::printf("%lld %.3f %.1f\n", total, seconds,
              static_cast<double>(total) / (1024.0 * 1024.0) / seconds);
  return 0;
}
