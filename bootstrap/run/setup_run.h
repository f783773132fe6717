// The sequence the window starts: ask the service where the installer is, download it into a
// folder of its own (bootstrap/files/installer_folder.h), hold it, check it, start it. It returns
// what happened as one outcome; the window maps outcomes to its labels, its meter and its messages,
// and observes the download through DownloadObserver.
#pragma once

#include <windows.h>

#include <string>

#include "bootstrap/run/installer_download.h"
#include "bootstrap/vocabulary/setup_outcome.h"

namespace setup {

class SetupRunObserver : public DownloadObserver {
 public:
  // The folder to download into, ending in a backslash; empty when the system gives none.
  virtual std::wstring TemporaryFolder() = 0;
  // An installer was announced: the download is about to start.
  virtual void DownloadStarting() = 0;

 protected:
  ~SetupRunObserver() = default;
};

class SetupRun {
 public:
  // base_url: the environment's origin (ANSI); owner: the window that owns the proxy's sign-in.
  SetupRun(std::string base_url, HWND owner);

  // Runs the sequence. kReady means the installer has been started. The hourglass (RequestBusy)
  // covers the query and the download's request.
  SetupResult Run(SetupRunObserver& observer);

 private:
  void LaunchInstaller(const std::wstring& path, const std::wstring& folder);

  std::string base_url_;
  HWND owner_;
  // The complete installer, held from the end of the transfer until its process has been created,
  // so that nobody can change it in between.
  fw::FileHandle installer_hold_;
};

}  // namespace setup
