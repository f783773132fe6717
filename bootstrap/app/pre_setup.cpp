#include "bootstrap/app/pre_setup.h"

#include <windows.h>

#include <optional>
#include <vector>

#include "bootstrap/app/desktop_shell.h"
#include "bootstrap/app/environment.h"
#include "bootstrap/app/window_look.h"
#include "bootstrap/log/support_log.h"
#include "bootstrap/network/connectivity.h"
#include "bootstrap/vocabulary/ansi_code_page_win.h"
#include "bootstrap/vocabulary/download_progress.h"
#include "bootstrap/vocabulary/setup_outcome.h"
#include "bootstrap/vocabulary/short_text.h"
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
constexpr int kOutOfView = -100;  // the top of the two Run Setup controls once the window is made

// The window's layout is written in pixels at 96 DPI; each length reaches the control scaled to the
// form's DPI by the one rule (Control::Scaled).
void Place(fw::Control& control, int left, int top, int width, int height) {
  control.SetBounds(control.Scaled(left), control.Scaled(top), control.Scaled(width),
                    control.Scaled(height));
}

// A shape button of the window: its caption and the look the three share.
void StyleButton(widgets::TShapeButton& button, const wchar_t* caption) {
  button.SetCaption(caption);
  StyleShapeButton(button);
}

// A single-line label of the window: no accelerator character, hand cursor.
void StyleLabel(widgets::TSimpleLabel& label, const std::wstring& caption, const wchar_t* font,
                bool bold, fw::TColor color, bool smoothing) {
  label.SetShowAccelChar(false);
  label.SetCursor(fw::crHandPoint);
  StyleFont(label.Font(), font, 0, bold, color);  // its height comes with the layout's lengths
  label.SetFontSmoothing(smoothing);
  label.SetCaption(caption);
}

// A logo drawn for the scales 100, 150 and 200 %; another scale takes the nearest larger drawing.
const wchar_t* LogoFor(int width) {
  if (width <= 54) {
    return MAKEINTRESOURCEW(IDB_LOGO);
  }
  return width <= 81 ? MAKEINTRESOURCEW(IDB_LOGO_150) : MAKEINTRESOURCEW(IDB_LOGO_200);
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
  PlaceControls();
  OnCreate = [this](fw::Control& sender) { FormCreate(sender); };
  OnDpiChange = [this](fw::Control&) { PlaceControls(); };
  OnActivate = [this](fw::Control& sender) { FormActivate(sender); };
  FinishCreate();
}

TPreSetupBox::~TPreSetupBox() = default;

void TPreSetupBox::BuildLayout() {
  SetCaption(kApplicationTitle);
  StyleFont(Font(), L"MS Sans Serif", 0, true, fw::clBlack);

  Panel5.SetColor(kDarkGrey);
  Panel5.SetBevelOuter(fw::bvRaised);

  Panel3.SetAlign(fw::alClient);
  Panel3.SetParentColor(true);
  Panel3.SetBevelOuter(fw::bvNone);
  Panel3.SetBorderStyle(fw::bsSingle);

  Gradient1.SetStyle(widgets::grPyramid);
  Gradient1.SetStartColor(kDarkGrey);
  Gradient1.SetEndColor(0x00616161);

  Image3.SetAccessibleName(L"Ostrevo Software logo");

  StyleLabel(SimpleLabel2, L"OSTREVO", L"Tahoma", false, kSilver, true);
  SimpleLabel2.SetActiveColor(kLinkBlue);
  SimpleLabel2.SetInActiveColor(kLinkBlue);
  StyleLabel(SimpleLabel3, L"SOFTWARE", L"Arial", true, kSilver, true);

  StyleLabel(WebSiteLabel, L"", L"Arial", true, kLinkBlue, false);
  WebSiteLabel.Font().SetUnderline(true);
  WebSiteLabel.SetActiveColor(kLinkBlue);
  WebSiteLabel.SetInActiveColor(kLinkBlue);
  WebSiteLabel.SetJumpMode(widgets::jmInternet);
  WebSiteLabel.SetVisible(false);
  WebSiteLabel.OnClick = [this](fw::Control& sender) { PanelSelectBtnClick(sender); };

  const auto enter = [this](fw::Control& sender) { RunSetupBtnMouseEnter(sender); };
  const auto leave = [this](fw::Control& sender) { RunSetupBtnMouseExit(sender); };
  StyleButton(CloseBtn, L"Close");
  CloseBtn.OnClick = [this](fw::Control& sender) { CloseBtnClick(sender); };
  CloseBtn.SetHideHint(false);
  StyleButton(PanelSelectBtn, L"Contact");
  PanelSelectBtn.OnClick = [this](fw::Control& sender) { PanelSelectBtnClick(sender); };
  StyleButton(RunSetupBtn, L"&Run Setup");
  RunSetupBtn.OnClick = [this](fw::Control& sender) { RunSetupBtnClick(sender); };
  for (widgets::TShapeButton* button : {&CloseBtn, &PanelSelectBtn, &RunSetupBtn}) {
    button->OnMouseEnter = enter;
    button->OnMouseExit = leave;
  }

  StyleLabel(LabelPhase, L"Downloading...", L"Tahoma", true, fw::clWhite, true);
  LabelPhase.SetVisible(false);
  StyleLabel(Label1, L"Label1", L"Tahoma", true, fw::clWhite, true);
  Label1.SetVisible(false);

  LabelKVSServer.SetAlign(fw::alTop);
  LabelKVSServer.SetAlignment(widgets::agCenter);
  StyleFont(LabelKVSServer.Font(), L"Arial", 0, true, fw::clRed);
  LabelKVSServer.SetActiveColor(fw::clBlack);
  LabelKVSServer.SetTwinkle(true);
  LabelKVSServer.SetVisible(false);

  StyleWaitingBar(WaitingProgress1);
  WaitingProgress1.SetAccessibleName(L"Working");

  RunBtn2.SetCaption(L"RunBtn2");
  RunBtn2.OnClick = [this](fw::Control& sender) { RunSetupBtnClick(sender); };
  SetActiveControl(&RunBtn2);

  StyleMeter(mMeter);
  mMeter.SetLightText(L"0%");
  mMeter.SetAccessibleName(L"Download progress");
  mMeter.SetVisible(false);
}

void TPreSetupBox::PlaceControls() {
  SetClientSize(Scaled(532), Scaled(307));
  // The panels are taller than the window: only the upper part of the backdrop is ever seen, but
  // the gradient is laid out for the whole panel.
  Place(Panel5, 0, 0, 534, 450);
  Panel5.SetBevelWidth(Scaled(1));
  Panel3.SetBorderWidth(Scaled(1));
  Place(Gradient1, 1, 1, 528, 444);

  const int logo_width = Scaled(54);
  Image3.LoadFromResource(fw::ModuleInstance(), LogoFor(logo_width), logo_width, Scaled(49));
  Place(Image3, 238, 109, 54, 49);
  Place(SimpleLabel2, 185, 170, 159, 35);
  Place(SimpleLabel3, 234, 209, 60, 16);
  Place(WebSiteLabel, 8, 263, 134, 18);
  Place(CloseBtn, 277, 254, 94, 32);
  Place(PanelSelectBtn, 159, 254, 94, 32);
  // Once created, the two Run Setup controls stay above the visible area at every scale.
  Place(RunSetupBtn, 218, Created() ? kOutOfView : 19, 94, 32);
  Place(LabelPhase, 17, 18, 83, 15);
  Place(Label1, 17, 40, 39, 15);
  Place(LabelKVSServer, 1, 1, 528, 15);
  Place(WaitingProgress1, 185, 230, 159, 4);
  Place(RunBtn2, 164, Created() ? kOutOfView : 124, 75, 25);
  Place(mMeter, 16, 64, 498, 10);

  // Fonts after bounds: an auto-sized label measures its caption in its new font and keeps that.
  Font().SetHeight(Scaled(13));
  SimpleLabel2.Font().SetHeight(Scaled(27));
  SimpleLabel3.Font().SetHeight(Scaled(11));
  WebSiteLabel.Font().SetHeight(Scaled(13));
  LabelPhase.Font().SetHeight(Scaled(11));
  Label1.Font().SetHeight(Scaled(11));
  LabelKVSServer.Font().SetHeight(Scaled(13));
  for (widgets::TShapeButton* button : {&CloseBtn, &PanelSelectBtn, &RunSetupBtn}) {
    SizeShapeButton(*button);
  }
  SizeMeter(mMeter);
}

void TPreSetupBox::FormCreate(fw::Control&) {
  FirstTimeActivate = true;
  SavedCursor = fw::App().Cursor();
  // Above the visible area: never seen and out of the mouse's reach, but still visible and enabled
  // as far as the keyboard is concerned.
  RunSetupBtn.SetTop(Scaled(kOutOfView));
  RunBtn2.SetTop(Scaled(kOutOfView));
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
  const auto running = fw::ScopedValue(FRunning, true);
  RunSetup();
}

void TPreSetupBox::RunSetup() {
  // The system's word alone never ends a run: it is often wrong on working networks. It only
  // decides how a query that could not connect reads, so an offline machine reads the same as ever.
  const bool reported_connected = SystemReportsConnected();
  SetupRun run(gURL, Handle());
  const SetupResult result = run.Run(*this);
  if (!reported_connected && result.request == SetupRequest::kQuery &&
      result.outcome == SetupOutcome::kNotConnected) {
    static constexpr wchar_t kNoConnection[] = L"Error!  Internet connection not found.";
    support_log::Write({L"shown: ", kNoConnection});
    fw::ShowMessage(kNoConnection);
    Close();
    return;
  }
  ShowOutcome(result);
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
