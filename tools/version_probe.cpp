// version_probe.exe PATH: reads an executable's version information the way Windows shows it in
// the file's properties (GetFileVersionInfoSizeW, GetFileVersionInfoW, VerQueryValueW), and its
// manifest, and prints them as one line of JSON:
//   {"file_version":"1.2.3.4","product_version":"1.2.3.4","translation":"040904B0",
//    "strings":{"CompanyName":"...",...},"manifest":"<?xml ..."}
// Exit code 0 when both were found, 1 when either is missing, 2 on a usage error.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "framework/handle.h"
#include "tools/json_text.h"

namespace {

// The names Windows' properties dialog and most installers read.
constexpr const wchar_t* kStringNames[] = {L"CompanyName",  L"FileDescription", L"FileVersion",
                                           L"InternalName", L"LegalCopyright",  L"OriginalFilename",
                                           L"ProductName",  L"ProductVersion"};

std::wstring VersionText(DWORD high, DWORD low) {
  wchar_t text[64];
  std::swprintf(text, 64, L"%u.%u.%u.%u", unsigned{HIWORD(high)}, unsigned{LOWORD(high)},
                unsigned{HIWORD(low)}, unsigned{LOWORD(low)});
  return text;
}

int Fail(const char* what) {
  std::fprintf(stderr, "version_probe: %s failed, error %lu\n", what, ::GetLastError());
  return 1;
}

std::wstring Widen(const char* text, int length) {
  const int wide = ::MultiByteToWideChar(CP_UTF8, 0, text, length, nullptr, 0);
  std::wstring out(static_cast<size_t>(wide), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, text, length, out.data(), wide);
  return out;
}

// The program's manifest (resource 1 of type RT_MANIFEST), as text.
bool ReadManifest(const wchar_t* path, std::wstring& manifest) {
  fw::ModuleHandle module(
      ::LoadLibraryExW(path, nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
  if (!module) {
    return false;
  }
  HRSRC found = ::FindResourceW(module.get(), MAKEINTRESOURCEW(1), RT_MANIFEST);
  HGLOBAL loaded = found != nullptr ? ::LoadResource(module.get(), found) : nullptr;
  const void* bytes = loaded != nullptr ? ::LockResource(loaded) : nullptr;
  if (bytes == nullptr) {
    return false;
  }
  manifest = Widen(static_cast<const char*>(bytes),
                   static_cast<int>(::SizeofResource(module.get(), found)));
  return true;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: version_probe.exe PATH\n");
    return 2;
  }
  const wchar_t* path = argv[1];
  DWORD ignored = 0;
  const DWORD size = ::GetFileVersionInfoSizeW(path, &ignored);
  if (size == 0) {
    return Fail("GetFileVersionInfoSizeW");
  }
  std::vector<BYTE> block(size);
  if (!::GetFileVersionInfoW(path, 0, size, block.data())) {
    return Fail("GetFileVersionInfoW");
  }

  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  if (!::VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) ||
      length < sizeof(VS_FIXEDFILEINFO) || fixed->dwSignature != VS_FFI_SIGNATURE) {
    return Fail("VerQueryValueW(\\)");
  }
  // The first language and code page listed is the one the string table is looked up under.
  WORD* translation = nullptr;
  if (!::VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation",
                        reinterpret_cast<void**>(&translation), &length) ||
      length < 2 * sizeof(WORD)) {
    return Fail("VerQueryValueW(Translation)");
  }
  wchar_t table[16];
  std::swprintf(table, 16, L"%04X%04X", unsigned{translation[0]}, unsigned{translation[1]});

  std::string strings;
  for (const wchar_t* name : kStringNames) {
    const std::wstring query = std::wstring(L"\\StringFileInfo\\") + table + L"\\" + name;
    wchar_t* value = nullptr;
    if (!::VerQueryValueW(block.data(), query.c_str(), reinterpret_cast<void**>(&value), &length) ||
        value == nullptr) {
      continue;
    }
    // The length counts the terminating NUL when there is one.
    std::wstring text(value, length);
    if (!text.empty() && text.back() == L'\0') {
      text.pop_back();
    }
    strings +=
        (strings.empty() ? "" : ",") + tools::JsonString(name) + ":" + tools::JsonString(text);
  }

  std::wstring manifest;
  const bool has_manifest = ReadManifest(path, manifest);
  const std::string json =
      "{\"file_version\":" +
      tools::JsonString(VersionText(fixed->dwFileVersionMS, fixed->dwFileVersionLS)) +
      ",\"product_version\":" +
      tools::JsonString(VersionText(fixed->dwProductVersionMS, fixed->dwProductVersionLS)) +
      ",\"translation\":" + tools::JsonString(table) + ",\"strings\":{" + strings +
      "},\"manifest\":" + (has_manifest ? tools::JsonString(manifest) : std::string("null")) +
      "}\n";
  std::fwrite(json.data(), 1, json.size(), stdout);
  return has_manifest ? 0 : 1;
}
