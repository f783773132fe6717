// Test helper: holds a file open without sharing, as another program (an antivirus scanner, an
// installer still running) would, so that Setup cannot create it.
//   hold_file.exe PATH READY_MARKER MILLISECONDS
// Creates READY_MARKER once PATH is held, then keeps it for the given time.
#include <windows.h>

#include <cwchar>

#include "framework/handle.h"

int wmain(int argc, wchar_t** argv) {
  if (argc != 4) {
    std::fwprintf(stderr, L"usage: hold_file PATH READY_MARKER MILLISECONDS\n");
    return 2;
  }
  fw::FileHandle held(::CreateFileW(argv[1], GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!held) {
    std::fwprintf(stderr, L"cannot open %ls: %lu\n", argv[1], ::GetLastError());
    return 1;
  }
  fw::FileHandle marker(::CreateFileW(argv[2], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
  ::Sleep(static_cast<DWORD>(std::wcstoul(argv[3], nullptr, 10)));
  return 0;
}
