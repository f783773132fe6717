#include "bootstrap/pre_setup.h"

#include <windows.h>

#include <optional>
#include <vector>

#include "bootstrap/ansi_code_page_win.h"
#include "bootstrap/desktop_shell.h"
#include "bootstrap/download_progress.h"
#include "bootstrap/environment.h"
#include "bootstrap/setup_outcome.h"
#include "bootstrap/short_text.h"
#include "bootstrap/support_log.h"
#include "bootstrap/window_look.h"
#include "bootstrap/wininet_library.h"
#include "framework/error.h"
#include "framework/handle.h"
#include "framework/scope_exit.h"
#include "resources/resource_ids.h"

namespace setup {

fw::TCursor SavedCursor = fw::crDefault;

void SetBusyCursor() {
  fw::App().SetCursor(fw::crHourGlass);
}

void RestoreCursor() {
  fw::App().SetCursor(SavedCursor);
}

namespace {

constexpr fw::TColor kDarkGrey = 0x00303030;
constexpr fw::TColor kLinkBlue = 0x00D7A034;  // #34A0D7

// A shape button of the window: its place, its caption, and the look the three share.
void PlaceShapeButton(widgets::TShapeButton& button, int left, int top, const wchar_t* caption) {
  button.SetBounds(left, top, 94, 32);
  button.SetCaption(caption);
  StyleShapeButton(button);
}

// A single-line label of the window: no accelerator character, hand cursor.
void StyleLabel(widgets::TSimpleLabel& label, int left, int top, int width, int height,
                const std::wstring& caption, const wchar_t* font, int font_height, bool bold,
                fw::TColor color, bool smoothing) {
  label.SetBounds(left, top, width, height);
  label.SetShowAccelChar(false);
  label.SetCursor(fw::crHandPoint);
  StyleFont(label.Font(), font, font_height, bold, color);
  label.SetFontSmoothing(smoothing);
  label.SetCaption(caption);
}

bool IsInternetConnected() {
  DWORD flags = 0;
  return WinInetLibrary::Get().InternetGetConnectedState(&flags, 0) != FALSE;
}

// The Server value of the environment file, converted to the ANSI code page; nothing when the
// file does not exist (a symbolic link counts as its target).
std::optional<std::string> ReadServerValue() {
  const DWORD attributes = ::GetFileAttributesW(kEnvironmentFile);
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return std::nullopt;
  }
  std::vector<wchar_t> buffer(2048, L'\0');
  const DWORD length =
      ::GetPrivateProfileStringW(L"Environment", L"Server", L"", buffer.data(),
                                 static_cast<DWORD>(buffer.size()), kEnvironmentFile);
  return SystemAnsiCodePage().FromUtf16(std::wstring_view(buffer.data(), length));
}

}  // namespace

TPreSetupBox::TPreSetupBox()
    : Panel5(this),
      Panel3(&Panel5),
      Gradient1(&Panel3),
      Image3(&Panel3),
      SimpleLabel2(&Panel3),
      SimpleLabel3(&Panel3),
      WebSiteLabel(&Panel3),
      CloseBtn(&Panel3),
      PanelSelectBtn(&Panel3),
      RunSetupBtn(&Panel3),
      LabelPhase(&Panel3),
      Label1(&Panel3),
      LabelKVSServer(&Panel3),
      WaitingProgress1(&Panel3),
      RunBtn2(&Panel3),
      mMeter(&Panel3) {
  BuildLayout();
  OnCreate = [this](fw::Control& sender) { FormCreate(sender); };
  OnActivate = [this](fw::Control& sender) { FormActivate(sender); };
  FinishCreate();
}

TPreSetupBox::~TPreSetupBox() = default;

void TPreSetupBox::BuildLayout() {
  SetCaption(kApplicationTitle);
  SetClientSize(532, 307);
  StyleFont(Font(), L"MS Sans Serif", 13, true, fw::clBlack);

  // The panels are taller than the window: only the upper part of the backdrop is ever seen, but
  // the gradient is laid out for the whole panel.
  Panel5.SetBounds(0, 0, 534, 450);
  Panel5.SetColor(kDarkGrey);
  Panel5.SetBevelOuter(fw::bvRaised);
  Panel5.SetBevelWidth(1);

  Panel3.SetAlign(fw::alClient);
  Panel3.SetParentColor(true);
  Panel3.SetBevelOuter(fw::bvNone);
  Panel3.SetBorderStyle(fw::bsSingle);
  Panel3.SetBorderWidth(1);

  Gradient1.SetStyle(widgets::grPyramid);
  Gradient1.SetStartColor(kDarkGrey);
  Gradient1.SetEndColor(0x00616161);
  Gradient1.SetBounds(1, 1, 528, 444);

  Image3.SetBounds(238, 109, 54, 49);
  Image3.LoadFromResource(fw::ModuleInstance(), MAKEINTRESOURCEW(IDB_LOGO));
  Image3.SetAccessibleName(L"Ostrevo Software logo");

  StyleLabel(SimpleLabel2, 185, 170, 159, 35, L"OSTREVO", L"Tahoma", 27, false, kSilver, true);
  SimpleLabel2.SetActiveColor(kLinkBlue);
  SimpleLabel2.SetInActiveColor(kLinkBlue);
  StyleLabel(SimpleLabel3, 234, 209, 60, 16, L"SOFTWARE", L"Arial", 11, true, kSilver, true);

  StyleLabel(WebSiteLabel, 8, 263, 134, 18, L"", L"Arial", 13, true, kLinkBlue, false);
  WebSiteLabel.Font().SetUnderline(true);
  WebSiteLabel.SetActiveColor(kLinkBlue);
  WebSiteLabel.SetInActiveColor(kLinkBlue);
  WebSiteLabel.SetJumpMode(widgets::jmInternet);
  WebSiteLabel.SetVisible(false);
  WebSiteLabel.OnClick = [this](fw::Control& sender) { PanelSelectBtnClick(sender); };

  const auto enter = [this](fw::Control& sender) { RunSetupBtnMouseEnter(sender); };
  const auto leave = [this](fw::Control& sender) { RunSetupBtnMouseExit(sender); };
  PlaceShapeButton(CloseBtn, 277, 254, L"Close");
  CloseBtn.OnClick = [this](fw::Control& sender) { CloseBtnClick(sender); };
  CloseBtn.SetHideHint(false);
  PlaceShapeButton(PanelSelectBtn, 159, 254, L"Contact");
  PanelSelectBtn.OnClick = [this](fw::Control& sender) { PanelSelectBtnClick(sender); };
  PlaceShapeButton(RunSetupBtn, 218, 19, L"&Run Setup");
  RunSetupBtn.OnClick = [this](fw::Control& sender) { RunSetupBtnClick(sender); };
  for (widgets::TShapeButton* button : {&CloseBtn, &PanelSelectBtn, &RunSetupBtn}) {
    button->OnMouseEnter = enter;
    button->OnMouseExit = leave;
  }

  StyleLabel(LabelPhase, 17, 18, 83, 15, L"Downloading...", L"Tahoma", 11, true, fw::clWhite, true);
  LabelPhase.SetVisible(false);
  StyleLabel(Label1, 17, 40, 39, 15, L"Label1", L"Tahoma", 11, true, fw::clWhite, true);
  Label1.SetVisible(false);

  LabelKVSServer.SetBounds(1, 1, 528, 15);
  LabelKVSServer.SetAlign(fw::alTop);
  LabelKVSServer.SetAlignment(widgets::agCenter);
  StyleFont(LabelKVSServer.Font(), L"Arial", 13, true, fw::clRed);
  LabelKVSServer.SetActiveColor(fw::clBlack);
  LabelKVSServer.SetTwinkle(true);
  LabelKVSServer.SetVisible(false);

  WaitingProgress1.SetBounds(185, 230, 159, 4);
  StyleWaitingBar(WaitingProgress1);
  WaitingProgress1.SetAccessibleName(L"Working");

  RunBtn2.SetBounds(164, 124, 75, 25);
  RunBtn2.SetCaption(L"RunBtn2");
  RunBtn2.OnClick = [this](fw::Control& sender) { RunSetupBtnClick(sender); };
  SetActiveControl(&RunBtn2);

  mMeter.SetBounds(16, 64, 498, 10);
  StyleMeter(mMeter);
  mMeter.SetLightText(L"0%");
  mMeter.SetAccessibleName(L"Download progress");
  mMeter.SetVisible(false);
}

void TPreSetupBox::FormCreate(fw::Control&) {
  FirstTimeActivate = true;
  SavedCursor = fw::App().Cursor();
  // Above the visible area: never seen and out of the mouse's reach, but still visible and enabled
  // as far as the keyboard is concerned.
  RunSetupBtn.SetTop(-100);
  RunBtn2.SetTop(-100);
  SelectEnvironment();
}

void TPreSetupBox::SelectEnvironment() {
  const Environment env = setup::SelectEnvironment(ReadServerValue());
  gURL = env.origin;
  gUATSITServer = env.code;
  support_log::Start(SysInfo1.TempPath());
  static constexpr const wchar_t* kEnvironmentNames[] = {L"production", L"UAT", L"SIT", L"DIT"};
  support_log::Write({L"environment ", kEnvironmentNames[gUATSITServer & 3], L", base URL ",
                      SystemAnsiCodePage().ToUtf16(gURL)});
  if (gUATSITServer != 0) {
    LabelKVSServer.SetCaption(EnvironmentBanner(env.value));
    LabelKVSServer.SetVisible(true);
    LabelKVSServer.SetTwinkle(true);
  }
}

void TPreSetupBox::FormActivate(fw::Control&) {
  if (!FirstTimeActivate) {
    return;
  }
  WaitingProgress1.SetActive(true);
  FirstTimeActivate = false;
  PostSelfStartedRunSetup();
}

void TPreSetupBox::PostSelfStartedRunSetup() {
  // Posted, not sent: the request is handled once the activation and the showing have finished,
  // by the same accelerator routing as a typed R.
  ::PostMessageW(RunBtn2.Handle(), WM_CHAR, L'R', 0);
}

void TPreSetupBox::RunSetupBtnClick(fw::Control&) {
  // The hidden push button clicks straight through Space or Enter, whatever the state of
  // RunSetupBtn, and the query and the download pump messages: never start a second run (and a
  // second transfer into the file that is being written) inside the first.
  if (FRunning) {
    return;
  }
  if (!IsInternetConnected()) {
    fw::ShowMessage(L"Error!  Internet connection not found.");
    Close();
    return;
  }
  const auto running = fw::ScopedValue(FRunning, true);
  RunSetup();
}

void TPreSetupBox::RunSetup() {
  SetupRun run(gURL, Handle());
  ShowOutcome(run.Run(*this));
}

void TPreSetupBox::ShowOutcome(const SetupResult& result) {
  const SetupNotice notice = NoticeFor(result);
  if (notice.kind != SetupNotice::Kind::kNone) {
    support_log::Write({L"shown: ", notice.text});
  }
  switch (notice.kind) {
    case SetupNotice::Kind::kNone:
      break;
    case SetupNotice::Kind::kMessage:
      fw::ShowMessage(notice.text);
      break;
    case SetupNotice::Kind::kErrorReport:
      // The query's failures are errors: the default error report shows them, the window idles.
      throw fw::Error(notice.text);
  }
  // After a failure to create the file the meter stays, reading 0%.
  if (result.outcome != SetupOutcome::kFileError) {
    mMeter.SetVisible(false);
  }
  if (result.outcome == SetupOutcome::kReady) {
    Close();
    fw::App().Terminate();
  }
  RunSetupBtn.SetEnabled(true);
}

void TPreSetupBox::RequestBusy(bool busy) {
  if (busy) {
    SetBusyCursor();
  } else {
    RestoreCursor();
  }
}

std::wstring TPreSetupBox::TemporaryFolder() {
  TempPath = SysInfo1.TempPath();
  return TempPath;
}

void TPreSetupBox::DownloadStarting() {
  RunSetupBtn.SetEnabled(false);
  Label1.SetCaption(L"");
  Label1.SetVisible(true);
  LabelPhase.SetVisible(true);
  FShownReceived = 0;
}

void TPreSetupBox::TransferStarting() {
  mMeter.SetLightText(PercentText(0));
  mMeter.SetLightValue(0);
  mMeter.SetVisible(true);
}

void TPreSetupBox::ShowProgress(std::int64_t received, std::int32_t expected) {
  if (received == FShownReceived) {
    return;
  }
  FShownReceived = received;
  if (!Label1.Visible()) {
    Label1.SetVisible(true);
  }
  Label1.SetCaption(DownloadCounterText(received, expected));
  const int percent = DownloadPercentage(received, expected);
  mMeter.SetLightText(PercentText(percent));
  mMeter.SetLightValue(percent);
}

void TPreSetupBox::PanelSelectBtnClick(fw::Control&) {
  const std::wstring contact = SystemAnsiCodePage().ToUtf16(gURL + "/about-us/contact");
  WebSiteLabel.SetJump(contact);
  // Setup runs elevated: the desktop's shell opens the page without Setup's rights when it can.
  if (!OpenInDesktopShell(contact)) {
    WebSiteLabel.Execute();
  }
}

void TPreSetupBox::CloseBtnClick(fw::Control&) {
  Close();
}

void TPreSetupBox::RunSetupBtnMouseEnter(fw::Control& sender) {
  auto& gradient = static_cast<widgets::TShapeButton&>(sender).ShapeFill().Gradient();
  if (gradient.Color() != kButtonHoverColor) {
    gradient.SetColor(kButtonHoverColor);
  }
}

void TPreSetupBox::RunSetupBtnMouseExit(fw::Control& sender) {
  auto& gradient = static_cast<widgets::TShapeButton&>(sender).ShapeFill().Gradient();
  if (gradient.Color() != kButtonIdleColor) {
    gradient.SetColor(kButtonIdleColor);
  }
}

}  // namespace setup
