// The installer's publisher, checked before it starts. Setup runs elevated and starts what it
// downloaded; HTTPS protects the way, not the server, so a file replaced on the maker's server or
// its CDN would run as administrator. The installer must carry a valid Authenticode signature with
// a code-signing chain to a trusted root that holds one of the publisher's pinned keys
// (SETUP_PUBLISHER_KEYS), by a certificate with the publisher's subject (SETUP_PUBLISHER_SUBJECT).
// A name alone proves nothing: any trusted CA can issue one. Four checks, each of which can only
// refuse: the system's verification, our own image digest, our own chain with revocation, the
// pinned publisher (Wine passes signatures that the first check alone would let through).
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

#include "bootstrap/trust/installer_digests.h"
#include "bootstrap/vocabulary/failure.h"
#include "bootstrap/vocabulary/setup_outcome.h"

namespace setup {

// Whether the installer must be signed: SETUP_INSTALLER_SIGNATURE, under AUTO exactly when keys
// are pinned. Test builds (SETUP_TEST_SEAMS) check only when the run's environment asks for it
// (SETUP_TEST_CHECK_SIGNATURE=1), since most tests serve an unsigned sample installer; nothing
// else of the check comes from the environment, and a release build reads none of it. With why:
// the reason, for the support log, when it is not required.
bool InstallerSignatureRequired(const wchar_t** why = nullptr);

// What the checks found: refused names what the user reads of the first check that failed, step
// which check that was (for the support log), code its code (an HRESULT, a system error code or a
// chain's error bits; 0 for none). revocation_unknown: whether a check went on without knowing
// the revocation status (no revocation server reachable), with its code, for the log.
struct SignatureVerdict {
  bool passed = false;
  SignatureCheck refused = SignatureCheck::kCannotCheck;
  std::uint32_t code = 0;
  const wchar_t* step = L"";
  std::uint32_t revocation_unknown = 0;
};

// Loads the libraries the checks use (on the main thread: the table is a function-local static).
// The failure names what was missing, with the system's code.
Result<> LoadSignatureLibraries();

// Checks the installer through file, the handle that holds it (path names it for the system's
// verification); reads only through that handle. Any thread, after LoadSignatureLibraries. An
// image digest made while the file was written stands in for reading it again, when it was made
// for the same size and layout with the algorithm the signature names.
SignatureVerdict CheckInstallerSignature(HANDLE file, const std::wstring& path,
                                         const std::optional<StreamedImageDigest>& streamed = {});

// The whole check for the run, when the installer must be signed: off the window thread (the
// window keeps pumping), timed and written to the support log. kReady, or kSignatureRefused with
// the check that refused and the path.
SetupResult VerifyInstaller(HANDLE file, const std::wstring& path,
                            const std::optional<StreamedImageDigest>& streamed = {});

}  // namespace setup
