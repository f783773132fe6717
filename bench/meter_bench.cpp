// The meter and the waiting bar under load.
//   meter_bench.exe paint
//       microseconds per paint of the setup window's meter (498 x 10, 64-band gradient) at 50 %
//       and at 100 %.
//   meter_bench.exe download URL OUTFILE running|stopped|window
//       the download as the setup window runs it (10240-byte reads on a worker thread, the window
//       woken for its input and for new counts, showing the count before each pump) with the
//       waiting bar and the meter on a shown form: "running" keeps it running for the whole
//       transfer, "stopped" never starts it, "window" is the setup window's bar (400 ticks, then it
//       stops itself). Prints "MiB/s ticks renders".
#include <windows.h>
#include <wininet.h>

#include <atomic>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "bootstrap/app/window_look.h"
#include "bootstrap/network/network_worker.h"
#include "framework/app.h"
#include "framework/form.h"
#include "framework/gdi.h"
#include "framework/handle.h"
#include "widgets/bi_progress_bar.h"
#include "widgets/waiting_progress.h"

namespace {

struct InternetTraits {
  static HINTERNET Invalid() noexcept { return nullptr; }
  static bool IsValid(HINTERNET h) noexcept { return h != nullptr; }
  static void Close(HINTERNET h) noexcept { ::InternetCloseHandle(h); }
};
using Internet = fw::UniqueHandle<HINTERNET, InternetTraits>;

double Now() {
  LARGE_INTEGER frequency, counter;
  ::QueryPerformanceFrequency(&frequency);
  ::QueryPerformanceCounter(&counter);
  return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

void ConfigureMeter(widgets::TBiProgressBar& meter) {
  meter.SetBounds(16, 64, 498, 10);
  setup::StyleMeter(meter);
}

// Counts every tick that reaches the main thread, running or not.
class CountingBar : public widgets::TWaitingProgress {
 public:
  using widgets::TWaitingProgress::TWaitingProgress;
  int ticks = 0;

 protected:
  void AdvanceBar() override {
    ++ticks;
    widgets::TWaitingProgress::AdvanceBar();
  }
};

int Paint() {
  fw::Form form;
  widgets::TBiProgressBar meter(&form);
  ConfigureMeter(meter);
  form.FinishCreate();
  fw::OffscreenBitmap target;
  if (!target.Resize(498, 10)) {
    std::fprintf(stderr, "no off-screen bitmap\n");
    return 1;
  }
  constexpr int kPaints = 2000;
  for (int value : {50, 100}) {
    meter.SetLightValue(value);
    meter.SetLightText(std::to_wstring(value) + L"%");
    meter.Paint(target.Dc());  // warm-up: bitmap and font made once
    const double start = Now();
    for (int i = 0; i < kPaints; ++i) {
      meter.Paint(target.Dc());
    }
    ::GdiFlush();
    std::printf("meter paint at %3d %%: %8.1f us\n", value, (Now() - start) / kPaints * 1e6);
  }
  return 0;
}

int Download(const wchar_t* url, const wchar_t* out, const std::wstring& mode) {
  fw::Form form;
  form.SetClientSize(532, 307);
  CountingBar bar(&form);
  bar.SetBounds(185, 230, 159, 4);
  bar.SetColor(0x006B6B6B);
  bar.SetProgressColor(fw::clSilver);
  bar.SetRefreshInterval(1);
  bar.SetLength(mode == L"window" ? 400 : 0x7FFFFFFF);
  widgets::TBiProgressBar meter(&form);
  ConfigureMeter(meter);
  form.FinishCreate();
  form.ShowForm();
  fw::App().ProcessMessages();
  if (mode != L"stopped") {
    bar.SetActive(true);
  }
  const int renders_before = bar.Progress().RenderCount();
  const double start = Now();
  Internet internet(
      ::InternetOpenW(L"meter_bench.exe", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
  Internet request(
      internet ? ::InternetOpenUrlW(internet.get(), url, nullptr, 0, INTERNET_FLAG_RELOAD, 0)
               : nullptr);
  fw::FileHandle file(
      ::CreateFileW(out, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!request || !file) {
    std::fprintf(stderr, "cannot open: %lu\n", ::GetLastError());
    return 1;
  }
  DWORD length = 0;
  DWORD size = sizeof(length);
  ::HttpQueryInfoW(request.get(), HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER, &length,
                   &size, nullptr);
  meter.SetLightText(L"0%");
  meter.SetLightValue(0);
  // As the setup window does it: the reads on a worker, the window woken for each new count (at
  // most once a frame) and showing it before each pump.
  std::atomic<long long> received{0};
  bool failed = false;
  wchar_t text[64];
  long long shown = -1;
  setup::RunRequestOffWindow(
      [&](fw::WorkActivity& activity) {
        std::vector<char> buffer(10240);
        DWORD count = 0;
        do {
          count = 0;
          ::InternetReadFile(request.get(), buffer.data(), static_cast<DWORD>(buffer.size()),
                             &count);
          DWORD written = 0;
          if (count > 0 && (!::WriteFile(file.get(), buffer.data(), count, &written, nullptr) ||
                            written != count)) {
            failed = true;
            return;
          }
          if (count > 0) {
            activity.Touch();
            received += count;
            activity.Progressed();
          }
        } while (count > 0);
      },
      [&] {
        const long long now = received.load();
        if (now == shown) {
          return;
        }
        shown = now;
        const int percent = length > 0 ? static_cast<int>(now * 100 / length) : 0;
        std::swprintf(text, 64, L"%d%%", percent);
        meter.SetLightText(text);
        meter.SetLightValue(percent);
      });
  if (failed) {
    std::fprintf(stderr, "write failed\n");
    return 1;
  }
  const long long total = received.load();
  const double seconds = Now() - start;
  std::printf("%.1f %d %d\n", static_cast<double>(total) / (1024.0 * 1024.0) / seconds, bar.ticks,
              bar.Progress().RenderCount() - renders_before);
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc == 2 && std::wcscmp(argv[1], L"paint") == 0) {
    return Paint();
  }
  if (argc == 5 && std::wcscmp(argv[1], L"download") == 0) {
    return Download(argv[2], argv[3], argv[4]);
  }
  std::fprintf(stderr, "usage: meter_bench paint | download URL OUTFILE running|stopped|window\n");
  return 2;
}
