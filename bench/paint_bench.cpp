// The backdrop's two kinds of paint at the window's size (528 x 444): a rebuild of the pyramid
// gradient, which happens once per size or property change, and the plain copy that every other
// paint is. Then one shape button as the window has it (94 x 32): a paint of the released and of
// the pressed face, and a hover colour change (the face re-rendered, then painted). Prints
// microseconds per paint and their ratio.
#include <windows.h>

#include <cstdio>

#include "bootstrap/app/window_look.h"
#include "framework/form.h"
#include "framework/gdi.h"
#include "widgets/gradient_background.h"
#include "widgets/shape_button.h"

namespace {

double Now() {
  LARGE_INTEGER frequency, counter;
  ::QueryPerformanceFrequency(&frequency);
  ::QueryPerformanceCounter(&counter);
  return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// A button with the setup window's look.
void StyleButton(widgets::TShapeButton& button) {
  button.SetBounds(0, 0, 94, 32);
  button.SetCaption(L"Contact");
  setup::StyleShapeButton(button);
}

int BenchShapeButton() {
  fw::Form form;
  form.SetColor(0x00303030);
  widgets::TShapeButton button(&form);
  StyleButton(button);
  form.FinishCreate();
  fw::OffscreenBitmap target;
  if (!target.Resize(94, 32)) {
    std::fprintf(stderr, "no off-screen bitmap\n");
    return 1;
  }
  constexpr int kPaints = 2000;
  constexpr int kChanges = 500;
  // Microseconds per paint of the button in its current state.
  const auto time_paints = [&] {
    const double begin = Now();
    for (int i = 0; i < kPaints; ++i) {
      button.Paint(target.Dc());
    }
    ::GdiFlush();
    return (Now() - begin) / kPaints * 1e6;
  };
  const double released_us = time_paints();
  button.SetButtonState(widgets::bsDown);
  const double pressed_us = time_paints();
  button.SetButtonState(widgets::bsUp);

  const int renders = button.FaceRenderCount();
  const double start = Now();
  for (int i = 0; i < kChanges; ++i) {
    button.ShapeFill().Gradient().SetColor(i % 2 == 0 ? 0x00EEE6D2 : 0x00808080);
    button.Paint(target.Dc());
  }
  ::GdiFlush();
  const double change_us = (Now() - start) / kChanges * 1e6;
  if (button.FaceRenderCount() - renders != kChanges) {
    std::fprintf(stderr, "a colour change did not re-render the face\n");
    return 1;
  }
  std::printf("shape button 94 x 32, elliptic gradient of 16 colours, caption \"Contact\"\n");
  std::printf("  paint, released    %9.1f us per paint (%d paints)\n", released_us, kPaints);
  std::printf("  paint, pressed     %9.1f us per paint (%d paints)\n", pressed_us, kPaints);
  std::printf("  hover colour change, re-render and paint %9.1f us (%d changes)\n", change_us,
              kChanges);
  return 0;
}

}  // namespace

int wmain() {
  fw::Form form;
  widgets::TGradientBackground gradient(&form);
  gradient.SetAlign(fw::alNone);
  gradient.SetBounds(0, 0, 528, 444);
  gradient.SetStyle(widgets::grPyramid);
  gradient.SetStartColor(0x00303030);
  gradient.SetEndColor(0x00616161);
  form.FinishCreate();

  fw::OffscreenBitmap target;
  if (!target.Resize(528, 444)) {
    std::fprintf(stderr, "no off-screen bitmap\n");
    return 1;
  }
  constexpr int kRebuilds = 300;
  constexpr int kCopies = 3000;

  // Alternating the start colour by one step keeps the work of every rebuild the same.
  double start = Now();
  for (int i = 0; i < kRebuilds; ++i) {
    gradient.SetStartColor(i % 2 == 0 ? 0x00303031 : 0x00303030);
    gradient.Paint(target.Dc());
  }
  ::GdiFlush();
  const double rebuild_us = (Now() - start) / kRebuilds * 1e6;
  const int rebuilds = gradient.RebuildCount();

  start = Now();
  for (int i = 0; i < kCopies; ++i) {
    gradient.Paint(target.Dc());
  }
  ::GdiFlush();
  const double copy_us = (Now() - start) / kCopies * 1e6;
  if (gradient.RebuildCount() != rebuilds) {
    std::fprintf(stderr, "a plain paint rebuilt the gradient\n");
    return 1;
  }
  std::printf("backdrop 528 x 444, pyramid of 101 rectangles\n");
  std::printf("  rebuild and copy   %9.1f us per paint (%d paints)\n", rebuild_us, kRebuilds);
  std::printf("  plain paint (copy) %9.1f us per paint (%d paints)\n", copy_us, kCopies);
  std::printf("  rebuild / copy     %9.1f\n", rebuild_us / copy_us);
  return BenchShapeButton();
}
