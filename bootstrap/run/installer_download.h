// The installer download: GETs of the announced URL over the HTTPS client, written as they arrive
// into a file that Setup created itself, then held against change until its start. A transfer
// that ends early or a busy answer is tried again by itself (the rules in resume_rule.h). The
// window only observes it.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "bootstrap/trust/installer_digests.h"
#include "bootstrap/vocabulary/setup_outcome.h"
#include "framework/handle.h"

namespace setup {

// What the window shows of a download; the download knows nothing of labels or meters. All calls
// come on the window's thread.
class DownloadObserver {
 public:
  // The hourglass while the request is made and answered.
  virtual void RequestBusy(bool busy) = 0;
  // The answer is accepted: the meter at 0%, before the file is created.
  virtual void TransferStarting() = 0;
  // The latest received count, before every pump of the window's messages and once at the end.
  virtual void ShowProgress(std::int64_t received, std::int32_t expected) = 0;

 protected:
  ~DownloadObserver() = default;
};

// Downloads the installer URL (ANSI, as announced) into path, expecting the given size. kReady
// when the received count equals the expected size: the file is then held in hold, opened for
// reading with nobody else writing, renaming or deleting it. A transfer that ends early (cut,
// reset, stalled, a failed read) or a 408, 429, 500, 502, 503 or 504 is tried again up to
// kMaxRetries times after a back-off the window pumps through (a close ends it), asking for the
// rest of the same version; the file on disk is always the start of one version. Otherwise
// kNotDownloaded (no URL at all, not connected, or a status other than 200, 206 or 302 before
// anything was received: silent), kRefusedInsecure, kTooManyRedirects, kProxySignInRefused,
// kFileError, kHoldError or kIncomplete (after the last attempt, also after a stall). A failed
// write, emptying or close raises fw::Error ("I/O error <code>") after the file is closed.
// digests are made from the bytes as they are written (started over with the file) and finished
// with the file's final size.
SetupResult DownloadInstaller(const std::string& url, const std::wstring& path,
                              std::int32_t expected, HWND owner, DownloadObserver& observer,
                              fw::FileHandle& hold, InstallerDigests& digests);

}  // namespace setup
