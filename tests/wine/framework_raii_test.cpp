// The owners and guards: every close and restore counted, GetLastError kept, the text measurer's
// font, and no GDI object leaked by painting.
#include "tests/wine/framework_fixture.h"

namespace test {
namespace {

struct CountingTraits {
  static inline std::vector<int> closed;
  static constexpr int Invalid() noexcept { return -1; }
  static bool IsValid(int v) noexcept { return v >= 0; }
  static void Close(int v) noexcept {
    closed.push_back(v);
    ::SetLastError(ERROR_GEN_FAILURE);  // a close that disturbs the error code
  }
};
using Counted = fw::UniqueHandle<int, CountingTraits>;

TEST(UniqueHandleTest, ClosesEveryOwnedValueExactlyOnce) {
  CountingTraits::closed.clear();
  {
    Counted a(1);
    Counted b(std::move(a));
    EXPECT_FALSE(a);
    Counted c(3);
    c = std::move(b);  // closes 3, takes 1
    Counted d(4);
    EXPECT_EQ(d.release(), 4);  // given up, never closed
    Counted e(5);
    e.reset(6);  // closes 5
    Counted none;
    none.reset();
  }
  EXPECT_EQ(CountingTraits::closed, (std::vector<int>{3, 5, 6, 1}));

  CountingTraits::closed.clear();
  ::SetLastError(ERROR_FILE_NOT_FOUND);
  { Counted f(7); }
  EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND)) << "kept across close";
  EXPECT_EQ(CountingTraits::closed, (std::vector<int>{7}));
}

TEST(ScopeExitTest, UndoesOnceOnEveryWayOutUnlessReleased) {
  int runs = 0;
  {
    const fw::ScopeExit guard([&runs] { ++runs; });
  }
  EXPECT_EQ(runs, 1);
  try {
    const fw::ScopeExit guard([&runs] { ++runs; });
    throw std::runtime_error("on the way out");
  } catch (const std::runtime_error&) {
  }
  EXPECT_EQ(runs, 2) << "an exception unwinds through it";
  {
    fw::ScopeExit guard([&runs] { ++runs; });
    guard.release();
  }
  EXPECT_EQ(runs, 2) << "released";
  {
    const auto make = [&runs] { return fw::ScopeExit([&runs] { ++runs; }); };
    auto first = make();
    const auto last = std::move(first);
    EXPECT_EQ(runs, 2);
  }
  EXPECT_EQ(runs, 3) << "a moved guard undoes once, from its last owner";

  bool busy = false;
  {
    const auto marked = fw::ScopedValue(busy, true);
    EXPECT_TRUE(busy);
  }
  EXPECT_FALSE(busy) << "the value before the scope is back";
}

TEST(SelectGuardTest, PutsThePreviousObjectBackOnceAlsoWhenMoved) {
  fw::MemoryDc dc(::CreateCompatibleDC(nullptr));
  ASSERT_TRUE(dc);
  fw::BitmapHandle a(::CreateBitmap(2, 2, 1, 1, nullptr));
  fw::BitmapHandle b(::CreateBitmap(2, 2, 1, 1, nullptr));
  ASSERT_TRUE(a && b);
  const auto selected = [&dc] { return ::GetCurrentObject(dc.get(), OBJ_BITMAP); };
  const HGDIOBJ original = selected();
  fw::SelectGuard later;
  {
    fw::SelectGuard first(dc.get(), a.get());
    EXPECT_EQ(selected(), a.get());
    fw::SelectGuard owner(std::move(first));
    first.Restore();  // moved from: nothing left to put back
    EXPECT_EQ(selected(), a.get());
    {
      const fw::SelectGuard inner(dc.get(), b.get());
      EXPECT_EQ(selected(), b.get());
    }
    EXPECT_EQ(selected(), a.get());
    owner.Restore();
    EXPECT_EQ(selected(), original);
    later = fw::SelectGuard(dc.get(), b.get());  // a second restore of owner would undo this
  }
  EXPECT_EQ(selected(), b.get()) << "restored once only";
  later.Restore();
  EXPECT_EQ(selected(), original);
}

LOGFONTW Description(const wchar_t* face, LONG height) {
  LOGFONTW lf{};
  lf.lfHeight = height;
  lf.lfWeight = FW_NORMAL;
  lf.lfCharSet = DEFAULT_CHARSET;
  wcsncpy(lf.lfFaceName, face, LF_FACESIZE - 1);
  return lf;
}

LOGFONTW SelectedFont(HDC dc) {
  LOGFONTW lf{};
  ::GetObjectW(::GetCurrentObject(dc, OBJ_FONT), sizeof(lf), &lf);
  return lf;
}

TEST_F(FrameworkTest, TextMeasurerKeepsOneFontPerDescriptionSelected) {
  const LOGFONTW tahoma = Description(L"Tahoma", -11);
  const LOGFONTW arial = Description(L"Arial", -24);
  fw::TextMeasurer measurer;
  const HDC dc = measurer.DcFor(tahoma);
  ASSERT_NE(dc, nullptr);
  EXPECT_EQ(::GetObjectType(dc), static_cast<DWORD>(OBJ_MEMDC));
  EXPECT_EQ(::GetDeviceCaps(dc, LOGPIXELSY),
            ::GetDeviceCaps(fw::ClientDc(nullptr).get(), LOGPIXELSY));
  const HGDIOBJ first = ::GetCurrentObject(dc, OBJ_FONT);
  EXPECT_EQ(std::wstring(SelectedFont(dc).lfFaceName), L"Tahoma");
  EXPECT_EQ(SelectedFont(dc).lfHeight, -11);

  EXPECT_EQ(measurer.DcFor(tahoma), dc);
  EXPECT_EQ(::GetCurrentObject(dc, OBJ_FONT), first) << "the same description selects nothing";

  EXPECT_EQ(measurer.DcFor(arial), dc);
  EXPECT_EQ(std::wstring(SelectedFont(dc).lfFaceName), L"Arial");
  EXPECT_EQ(SelectedFont(dc).lfHeight, -24);
  EXPECT_EQ(measurer.DcFor(tahoma), dc);
  EXPECT_EQ(std::wstring(SelectedFont(dc).lfFaceName), L"Tahoma");
}

// Takes every GDI handle the process can still get. Wine counts nothing in GetGuiResources, so
// leak checks give a few thousand back and then run more often than that.
std::vector<fw::BrushHandle> HoardGdiHandles() {
  std::vector<fw::BrushHandle> hoard;
  for (;;) {
    fw::BrushHandle brush(::CreateSolidBrush(RGB(7, 7, 7)));
    if (!brush) {
      return hoard;
    }
    hoard.push_back(std::move(brush));
  }
}

TEST_F(FrameworkTest, TextMeasurerLeaksNoFontWhenSwitching) {
  fw::TextMeasurer measurer;
  const LOGFONTW fonts[2] = {Description(L"Tahoma", -11), Description(L"Arial", -24)};
  ASSERT_NE(measurer.DcFor(fonts[0]), nullptr);
  // As in the painting test below: with the spare GDI handles nearly gone, a font leaked per
  // switch would make the last switches fail to create theirs.
  constexpr std::size_t kSpare = 2000;
  std::vector<fw::BrushHandle> hoard = HoardGdiHandles();
  ASSERT_GT(hoard.size(), kSpare);
  hoard.resize(hoard.size() - kSpare);
  for (std::size_t i = 0; i < kSpare + 500; ++i) {
    measurer.DcFor(fonts[i % 2]);
  }
  const HDC dc = measurer.DcFor(fonts[1]);
  EXPECT_EQ(std::wstring(SelectedFont(dc).lfFaceName), L"Arial");
  EXPECT_EQ(SelectedFont(dc).lfHeight, -24);
  hoard.clear();
}

TEST_F(FrameworkTest, PaintingLeaksNoGdiObjects) {
  TestForm form;
  form.SetClientSize(60, 40);
  form.Make<Probe>("p", nullptr, RECT{0, 0, 20, 20}, RGB(255, 0, 0));
  Probe& opaque = form.Make<Probe>("o", nullptr, RECT{20, 0, 40, 20}, RGB(0, 0, 255));
  opaque.SetOpaque(true);
  fw::Image& image = form.Make<fw::Image>();
  image.SetBounds(40, 20, 8, 8);
  image.SetBitmap(fw::BitmapHandle(::CreateCompatibleBitmap(fw::ClientDc(nullptr).get(), 8, 8)));
  image.SetTransparent(false);
  form.FinishCreate();
  form.ShowForm();
  fw::App().ProcessMessages();
  Canvas dib(60, 40);
  form.PaintTo(dib.Dc(), RECT{0, 0, 60, 40});  // caches settle
  const DWORD before = ::GetGuiResources(::GetCurrentProcess(), GR_GDIOBJECTS);
  // Wine counts nothing in GetGuiResources, so the check is exhaustion: take every GDI handle the
  // process can get, give back a few thousand, and paint more times than that. One leaked object
  // per paint would use the rest up and the last paint would come out wrong.
  constexpr std::size_t kSpare = 3000;
  std::vector<fw::BrushHandle> hoard = HoardGdiHandles();
  ASSERT_GT(hoard.size(), kSpare);
  hoard.resize(hoard.size() - kSpare);
  for (std::size_t i = 0; i < kSpare + 500; ++i) {
    image.SetTransparent(i % 2 == 0);
    form.PaintTo(dib.Dc(), RECT{0, 0, 60, 40});
    if (i % 100 == 0) {
      form.Invalidate();
      fw::App().FlushInvalidations();
      ::UpdateWindow(form.Handle());
    }
  }
  fw::FillSolidRect(dib.Dc(), RECT{0, 0, 60, 40}, RGB(1, 2, 3));
  form.PaintTo(dib.Dc(), RECT{0, 0, 60, 40});
  EXPECT_EQ(dib.Pixel(5, 5), RGB(255, 0, 0));
  EXPECT_EQ(dib.Pixel(25, 5), RGB(0, 0, 255));
  EXPECT_EQ(dib.Pixel(5, 30), fw::ColorToRGB(fw::clBtnFace));
  hoard.clear();
  if (before != 0) {
    EXPECT_EQ(::GetGuiResources(::GetCurrentProcess(), GR_GDIOBJECTS), before);
  }
}

}  // namespace
}  // namespace test
