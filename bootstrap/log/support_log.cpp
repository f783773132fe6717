#include "bootstrap/log/support_log.h"

#include <windows.h>

#include <cwchar>
#include <iterator>
#include <utility>

#include "bootstrap/files/safe_temp_file.h"
#include "bootstrap/log/support_log_text.h"
#include "bootstrap/vocabulary/short_text.h"
#include "bootstrap/vocabulary/system_error_text.h"
#include "build_settings.h"
#include "framework/handle.h"
#include "framework/system_library.h"
#include "framework/text.h"

// RtlGetVersion tells the truth where GetVersionExW reports the version the manifest declares.
// windows.h leaves it to the driver kit's headers, so it is declared here for its type alone.
extern "C" NTSYSAPI LONG NTAPI RtlGetVersion(RTL_OSVERSIONINFOW* info);

namespace setup::support_log {
namespace {

constexpr std::size_t kEarlyLineLimit = 64;
constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";

enum class Phase {
  kEarly,    // before Start: lines are kept in memory
  kWriting,  // the file is open
  kOff,      // started and given up, or stopped: lines are dropped
};

struct LogState {
  fw::CriticalSection lock;
  // Taken while the program initialises, before anything runs: the lines' zero.
  const ULONGLONG started = ::GetTickCount64();
  Phase phase = Phase::kEarly;
  fw::FileHandle file;
  std::string early_lines;  // the lines before Start, as they will be written
  std::size_t early_line_count = 0;
  std::size_t dropped_early_lines = 0;
};

// Never destroyed: a network worker the program left behind may still write while the process
// ends, after the static destructors have run.
LogState& g_log = *new LogState;

// Under the lock. A write that fails gives the log up for the rest of the run.
void WriteBytes(LogState& log, std::string_view bytes) {
  DWORD written = 0;
  if (!::WriteFile(log.file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                   nullptr) ||
      written != bytes.size()) {
    log.file.reset();
    log.phase = Phase::kOff;
  }
}

// Under the lock. The line's text is text and then more.
void AddLine(LogState& log, std::wstring_view text, std::wstring_view more = {}) {
  if (log.phase == Phase::kOff) {
    return;
  }
  std::wstring joined;
  if (!more.empty()) {
    joined.append(text).append(more);
    text = joined;
  }
  const std::string line = SupportLogLine(::GetTickCount64() - log.started, text);
  if (log.phase == Phase::kWriting) {
    WriteBytes(log, line);
  } else if (log.early_line_count < kEarlyLineLimit) {
    log.early_lines += line;
    ++log.early_line_count;
  } else {
    ++log.dropped_early_lines;
  }
}

struct Ntdll : fw::FunctionTable {
  static constexpr wchar_t kLibrary[] = L"ntdll.dll";
  FW_SYSTEM_FUNCTION(RtlGetVersion);
};

// Without it the header goes without the version.
bool TrueWindowsVersion(RTL_OSVERSIONINFOW& info) {
  const auto* ntdll = fw::Library<Ntdll>::Get();
  info.dwOSVersionInfoSize = sizeof(info);
  return ntdll != nullptr && ntdll->RtlGetVersion(&info) == 0;
}

struct Advapi32 : fw::FunctionTable {
  static constexpr wchar_t kLibrary[] = L"advapi32.dll";
  FW_SYSTEM_FUNCTION(GetUserNameW);
  FW_SYSTEM_FUNCTION(OpenProcessToken);
  FW_SYSTEM_FUNCTION(GetTokenInformation);
};

// Whose settings the run reads: Setup runs elevated, and where a standard user elevates with an
// administrator's account, WinInet reads that account's proxy settings, not the user's.
std::wstring AccountText() {
  const auto* advapi = fw::Library<Advapi32>::Get();
  if (advapi == nullptr) {
    return L"Account unknown";
  }
  wchar_t name[257] = {};
  DWORD length = static_cast<DWORD>(std::size(name));
  if (!advapi->GetUserNameW(name, &length)) {
    name[0] = L'\0';
  }
  const wchar_t* elevation = L"";
  HANDLE raw = nullptr;
  if (advapi->OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &raw)) {
    const fw::KernelHandle token(raw);
    TOKEN_ELEVATION elevated{};
    DWORD size = 0;
    if (advapi->GetTokenInformation(token.get(), TokenElevation, &elevated, sizeof(elevated),
                                    &size)) {
      elevation = elevated.TokenIsElevated ? L", elevated" : L", not elevated";
    }
  }
  return JoinedText({L"Account ", name[0] != L'\0' ? name : L"unknown", elevation});
}

// The file is created exclusive and with delete access for its rename, which would keep every
// reader out while Setup runs; a handle reopened for writing alone lets Notepad and others in.
fw::FileHandle ForWritingOnly(fw::FileHandle created) {
  fw::FileHandle reopened(::ReOpenFile(created.get(), GENERIC_WRITE,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, 0));
  return reopened ? std::move(reopened) : std::move(created);
}

void StartLog(const std::wstring& temp_folder) {
  // The system is asked before the lock is taken, so no writer waits for it.
  RTL_OSVERSIONINFOW windows{};
  const bool windows_known = TrueWindowsVersion(windows);
  wchar_t language[LOCALE_NAME_MAX_LENGTH] = {};
  ::GetUserDefaultLocaleName(language, LOCALE_NAME_MAX_LENGTH);
  const std::wstring account = AccountText();
  const std::wstring path = temp_folder +
                            (!temp_folder.empty() && temp_folder.back() != L'\\' ? L"\\" : L"") +
                            L"Setup.log";

  fw::Lock hold(g_log.lock);
  if (g_log.phase != Phase::kEarly) {
    return;
  }
  g_log.phase = Phase::kOff;
  const std::string early_lines = std::move(g_log.early_lines);
  g_log.early_lines.clear();
  if (temp_folder.empty()) {
    return;
  }
  // A log that cannot be created has nowhere to say so: the run goes on without it.
  Result<fw::FileHandle> created = CreateReplacingFile(path, FILE_SHARE_WRITE);
  if (!created) {
    return;
  }
  g_log.file = ForWritingOnly(std::move(*created));
  g_log.phase = Phase::kWriting;
  WriteBytes(g_log, kByteOrderMark);
  AddLine(g_log, L"Setup ", kVersionText);
  if (windows_known) {
    const std::wstring_view service_pack(
        windows.szCSDVersion, ::wcsnlen(windows.szCSDVersion, std::size(windows.szCSDVersion)));
    AddLine(g_log, JoinedText({L"Windows ", DecimalPiece(windows.dwMajorVersion), L".",
                               DecimalPiece(windows.dwMinorVersion), L".",
                               DecimalPiece(windows.dwBuildNumber),
                               service_pack.empty() ? L"" : L" ", service_pack}));
  } else {
    AddLine(g_log, L"Windows (version unknown)");
  }
  AddLine(g_log, L"ANSI code page ", DecimalPiece(::GetACP()));
  AddLine(g_log, L"Language ", language);
  AddLine(g_log, account);
  AddLine(g_log, L"Temporary folder ", temp_folder);
  if (g_log.phase == Phase::kWriting && !early_lines.empty()) {
    WriteBytes(g_log, early_lines);
  }
  if (g_log.dropped_early_lines > 0) {
    AddLine(g_log, L"Lines dropped before the log started: ",
            DecimalPiece(static_cast<std::int64_t>(g_log.dropped_early_lines)));
  }
}

}  // namespace

// Each entry point swallows what it raises (only an allocation can): the state is consistent
// after each step, and losing a line is better than stopping the run.
void Start(const std::wstring& temp_folder) {
  try {
    StartLog(temp_folder);
  } catch (...) {
  }
}

void Write(std::wstring_view text) {
  try {
    fw::Lock hold(g_log.lock);
    AddLine(g_log, text);
  } catch (...) {
  }
}

void Write(std::initializer_list<std::wstring_view> pieces) {
  try {
    const std::wstring text = JoinedText(pieces);
    fw::Lock hold(g_log.lock);
    AddLine(g_log, text);
  } catch (...) {
  }
}

void WriteFailure(const Failure& failure) {
  try {
    Write(FailureLogText(failure, ErrorCodeText(failure.code)));
  } catch (...) {
  }
}

void Stop() {
  fw::Lock hold(g_log.lock);
  g_log.file.reset();
  g_log.early_lines.clear();
  g_log.phase = Phase::kOff;
}

void ResetForTesting() {
  fw::Lock hold(g_log.lock);
  g_log.file.reset();
  g_log.early_lines.clear();
  g_log.early_line_count = 0;
  g_log.dropped_early_lines = 0;
  g_log.phase = Phase::kEarly;
}

}  // namespace setup::support_log
