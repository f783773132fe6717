// The installer's publisher, checked before it starts. Setup runs elevated and starts what it
// downloaded; HTTPS protects the way, not the server, so a file replaced on the maker's server or
// its CDN would run as administrator. The installer must carry a valid Authenticode signature by
// the publisher that signed Setup.exe (same subject and issuer names), with a code-signing chain to
// a trusted root. Four checks, each of which can only refuse: the system's verification, our own
// image digest, our own chain, the publisher comparison (Wine passes signatures that the first
// check alone would let through).
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "bootstrap/vocabulary/setup_outcome.h"

namespace setup {

// Holds Setup.exe's own file open against writing, renaming and deletion for the rest of the run,
// so that the signature the installer is compared with is the running program's, not that of a
// file someone put under its name meanwhile. First thing on the main thread; a failure leaves the
// later checks to open the file by its name.
void HoldOwnExecutable();

// Whether the installer must be signed: SETUP_INSTALLER_SIGNATURE, and under AUTO whether
// Setup.exe itself carries a signature (an unreadable Setup.exe counts as signed). Main thread.
bool InstallerSignatureRequired();

// What the checks found: refused names what the user reads of the first check that failed, step
// which check that was (for the support log), code its code (an HRESULT, a system error code or a
// chain's error bits; 0 for none).
struct SignatureVerdict {
  bool passed = false;
  SignatureCheck refused = SignatureCheck::kCannotCheck;
  std::uint32_t code = 0;
  const wchar_t* step = L"";
};

// Loads the libraries the checks use (on the main thread: the table is a function-local static).
// False when one of them or one of its functions is missing.
bool LoadSignatureLibraries();

// Checks the installer through file, the handle that holds it (path names it for the system's
// verification); reads only through that handle. Any thread, after LoadSignatureLibraries.
SignatureVerdict CheckInstallerSignature(HANDLE file, const std::wstring& path);

// The whole check for the run, when the installer must be signed: off the window thread (the
// window keeps pumping), timed and written to the support log. kReady, or kSignatureRefused with
// the check that refused and the path.
SetupResult VerifyInstaller(HANDLE file, const std::wstring& path);

}  // namespace setup
