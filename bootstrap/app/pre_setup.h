// The program's one window, TPreSetupBox: it picks the environment at creation, requests Run Setup
// by itself on its first activation, asks the service where the installer is, downloads it with a
// byte count and a meter, starts it and ends. Contact opens the service's contact page; Close ends.
#pragma once

#include <cstdint>
#include <string>

#include "bootstrap/files/sys_info.h"
#include "bootstrap/run/setup_run.h"
#include "framework/app.h"
#include "framework/form.h"
#include "framework/handle.h"
#include "framework/image.h"
#include "framework/panel.h"
#include "framework/push_button.h"
#include "widgets/bi_progress_bar.h"
#include "widgets/gradient_background.h"
#include "widgets/shape_button.h"
#include "widgets/simple_label.h"
#include "widgets/waiting_progress.h"

namespace setup {

inline constexpr wchar_t kApplicationTitle[] = L"Ostrevo Software - Setup";
inline constexpr wchar_t kEnvironmentFile[] = L"C:\\KVSENV.INI";

// The application-wide cursor in effect at start-up, put back after blocking network work.
extern fw::TCursor SavedCursor;
void SetBusyCursor();
void RestoreCursor();

class TPreSetupBox : public fw::Form, private SetupRunObserver {
 public:
  TPreSetupBox();
  ~TPreSetupBox() override;

  // The layout, in creation order: each later graphic control paints over the earlier ones.
  fw::Panel Panel5;
  fw::Panel Panel3;
  widgets::TGradientBackground Gradient1;
  fw::Image Image3;
  widgets::TSimpleLabel SimpleLabel2;
  widgets::TSimpleLabel SimpleLabel3;
  widgets::TSimpleLabel WebSiteLabel;
  widgets::TShapeButton CloseBtn;
  widgets::TShapeButton PanelSelectBtn;
  widgets::TShapeButton RunSetupBtn;
  widgets::TSimpleLabel LabelPhase;
  widgets::TSimpleLabel Label1;
  widgets::TSimpleLabel LabelKVSServer;
  widgets::TWaitingProgress WaitingProgress1;
  fw::TPushButton RunBtn2;
  widgets::TBiProgressBar mMeter;
  TSysInfo SysInfo1;

 private:
  void FormCreate(fw::Control& sender);
  void FormActivate(fw::Control& sender);
  void RunSetupBtnClick(fw::Control& sender);
  void RunSetup();
  void PanelSelectBtnClick(fw::Control& sender);
  void CloseBtnClick(fw::Control& sender);
  void RunSetupBtnMouseEnter(fw::Control& sender);
  void RunSetupBtnMouseExit(fw::Control& sender);

  // On the first activation the window asks for Run Setup by itself, as if the user typed R.
  void PostSelfStartedRunSetup();

  // What the run asks of the window (SetupRunObserver).
  void RequestBusy(bool busy) override;
  std::wstring TemporaryFolder() override;
  void DownloadStarting() override;
  void TransferStarting() override;
  void ShowProgress(std::int64_t received, std::int32_t expected) override;
  // Shows what the user is to read of an outcome, and the meter and buttons it leaves.
  void ShowOutcome(const SetupResult& result);

  // The properties of the layout, once; then its lengths and font heights at the form's DPI, again
  // whenever that changes.
  void BuildLayout();
  void PlaceControls();
  void SelectEnvironment();

  std::string gURL;                // base URL of the selected environment (ANSI)
  std::uint8_t gUATSITServer = 0;  // 0 production, 1 UAT, 2 SIT, 3 DIT
  std::wstring TempPath;           // temporary directory, ending in a backslash
  bool FirstTimeActivate = true;

  // The query and the download pump messages: a second request that arrives meanwhile is ignored.
  bool FRunning = false;
  std::int64_t FShownReceived = -1;  // the count Label1 and the meter show
};

}  // namespace setup
