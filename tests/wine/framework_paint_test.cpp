// Painting and layout: the off-screen composition, the image's key colour, aligned children in
// panels and the panel bevel.
#include <algorithm>
#include <vector>

#include "tests/wine/framework_fixture.h"

namespace test {
namespace {

TEST_F(FrameworkTest, PaintComposesBackgroundThenGraphicChildrenInCreationOrder) {
  Log log;
  TestForm form;
  form.SetClientSize(120, 60);
  form.SetColor(RGB(0, 0, 128));
  form.Make<Probe>("red", &log, RECT{0, 0, 40, 40}, RGB(255, 0, 0));
  form.Make<Probe>("green", &log, RECT{20, 20, 60, 60}, RGB(0, 255, 0));   // over red
  Probe& opaque = form.Make<Probe>("opaque", &log, RECT{80, 0, 100, 20});  // paints nothing
  opaque.SetOpaque(true);
  form.Make<Probe>("clear", &log, RECT{100, 0, 120, 20});  // paints nothing, not opaque
  Probe& hidden = form.Make<Probe>("hidden", &log, RECT{0, 0, 120, 60}, RGB(255, 255, 0));
  hidden.SetVisible(false);
  form.FinishCreate();

  Canvas dib(120, 60);
  fw::FillSolidRect(dib.Dc(), RECT{0, 0, 120, 60}, RGB(1, 2, 3));  // what lies beneath
  log.clear();
  form.PaintTo(dib.Dc(), RECT{0, 0, 120, 60});
  EXPECT_EQ(log, (Log{"paint:red", "paint:green", "paint:opaque", "paint:clear"}));

  struct Pixel {
    int x, y;
    COLORREF expected;
    const char* why;
  };
  const Pixel pixels[] = {
      {5, 5, RGB(255, 0, 0), "first child"},
      {30, 30, RGB(0, 255, 0), "the later child paints over the earlier one"},
      {39, 39, RGB(0, 255, 0), "overlap, last pixel of the earlier child"},
      {50, 10, RGB(0, 0, 128), "background in the form's colour"},
      {90, 10, RGB(1, 2, 3), "not erased beneath an opaque child"},
      {110, 10, RGB(0, 0, 128), "erased beneath a see-through child"},
      {70, 50, RGB(0, 0, 128), "a hidden child neither paints nor covers"},
  };
  for (const Pixel& p : pixels) {
    EXPECT_EQ(dib.Pixel(p.x, p.y), p.expected) << p.why;
  }

  // Only the children that meet the dirty rectangle paint, clipped to it.
  Canvas part(120, 60);
  fw::FillSolidRect(part.Dc(), RECT{0, 0, 120, 60}, RGB(1, 2, 3));
  log.clear();
  form.PaintTo(part.Dc(), RECT{45, 45, 60, 60});
  EXPECT_EQ(log, (Log{"paint:green"}));
  EXPECT_EQ(part.Pixel(50, 50), RGB(0, 255, 0));
  EXPECT_EQ(part.Pixel(30, 30), RGB(1, 2, 3));
}

TEST_F(FrameworkTest, WindowPaintReachesTheChildrenThroughTheMessageLoop) {
  Log log;
  TestForm form;
  form.SetClientSize(120, 60);
  fw::Panel& panel = form.Make<fw::Panel>();
  panel.SetAlign(fw::alClient);
  Probe& first = panel.Make<Probe>("first", &log, RECT{0, 0, 40, 40}, RGB(255, 0, 0));
  panel.Make<Probe>("second", &log, RECT{20, 20, 60, 60}, RGB(0, 255, 0));
  form.FinishCreate();
  form.ShowForm();
  fw::App().ProcessMessages();
  log.clear();
  panel.Invalidate();
  fw::App().FlushInvalidations();
  ::UpdateWindow(panel.Handle());
  EXPECT_EQ(log, (Log{"paint:first", "paint:second"}));
  log.clear();
  first.Repaint();  // see-through: the parent repaints the area at once
  EXPECT_EQ(log, (Log{"paint:first", "paint:second"}));
  log.clear();
  first.SetOpaque(true);
  first.Repaint();  // opaque: painted straight onto the parent, nothing else
  EXPECT_EQ(log, (Log{"paint:first"}));
}

// A 3 x 2 picture as a screen-compatible bitmap (bits 0) or as a DIB section of 24 bits, or of 8
// with a table of each colour once, as the logo's resource loads.
fw::BitmapHandle MakePicture(const COLORREF (&top)[3], const COLORREF (&bottom)[3], int bits) {
  if (bits != 0) {
    struct {
      BITMAPINFOHEADER header;
      RGBQUAD colors[6];
    } info{};
    info.header.biSize = sizeof(info.header);
    info.header.biWidth = 3;
    info.header.biHeight = 2;  // bottom-up, as bitmap resources are
    info.header.biPlanes = 1;
    info.header.biBitCount = static_cast<WORD>(bits);
    info.header.biCompression = BI_RGB;
    std::vector<COLORREF> table;
    auto index_of = [&table](COLORREF colour) {
      const auto found = std::find(table.begin(), table.end(), colour);
      if (found != table.end()) {
        return static_cast<BYTE>(found - table.begin());
      }
      table.push_back(colour);
      return static_cast<BYTE>(table.size() - 1);
    };
    std::vector<BYTE> pixels;  // rows of 4 bytes, bottom row first
    for (const COLORREF* line : {bottom, top}) {
      for (int x = 0; x < 3; ++x) {
        if (bits == 8) {
          pixels.push_back(index_of(line[x]));
        } else {
          pixels.insert(pixels.end(), {GetBValue(line[x]), GetGValue(line[x]), GetRValue(line[x])});
        }
      }
      pixels.resize((pixels.size() + 3) / 4 * 4);
    }
    for (size_t i = 0; i < table.size(); ++i) {
      info.colors[i] = RGBQUAD{GetBValue(table[i]), GetGValue(table[i]), GetRValue(table[i]), 0};
    }
    info.header.biClrUsed = static_cast<DWORD>(table.size());
    void* data = nullptr;
    fw::BitmapHandle bitmap(::CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&info),
                                               DIB_RGB_COLORS, &data, nullptr, 0));
    std::copy(pixels.begin(), pixels.end(), static_cast<BYTE*>(data));
    return bitmap;
  }
  fw::BitmapHandle bitmap(::CreateCompatibleBitmap(fw::ClientDc(nullptr).get(), 3, 2));
  fw::MemoryDc dc(::CreateCompatibleDC(nullptr));
  fw::SelectGuard select(dc.get(), bitmap.get());
  for (int x = 0; x < 3; ++x) {
    ::SetPixel(dc.get(), x, 0, top[x]);
    ::SetPixel(dc.get(), x, 1, bottom[x]);
  }
  return bitmap;
}

TEST_F(FrameworkTest, ImageLeavesOutThePixelsOfItsBottomLeftColour) {
  const COLORREF key = RGB(255, 0, 255);  // bottom-left
  const COLORREF top[3] = {RGB(10, 20, 30), key, RGB(200, 100, 50)};
  const COLORREF bottom[3] = {key, RGB(0, 0, 0), RGB(255, 255, 255)};
  const COLORREF background = RGB(0, 128, 0);

  for (int bits : {0, 24, 8}) {
    TestForm form;
    form.SetClientSize(20, 10);
    form.SetColor(background);
    fw::Image& image = form.Make<fw::Image>();
    image.SetBounds(4, 3, 1, 1);
    image.SetBitmap(MakePicture(top, bottom, bits));
    form.FinishCreate();
    EXPECT_EQ(image.Width(), 3) << "size follows the picture";
    EXPECT_EQ(image.Height(), 2);

    for (bool transparent : {true, false}) {
      image.SetTransparent(transparent);
      for (int pass = 0; pass < 2; ++pass) {  // the second pass uses the cached mask
        Canvas dib(20, 10);
        form.PaintTo(dib.Dc(), RECT{0, 0, 20, 10});
        for (int x = 0; x < 3; ++x) {
          const COLORREF want_top = transparent && top[x] == key ? background : top[x];
          const COLORREF want_bottom = transparent && bottom[x] == key ? background : bottom[x];
          EXPECT_EQ(dib.Pixel(4 + x, 3), want_top)
              << "x " << x << " transparent " << transparent << " bits " << bits;
          EXPECT_EQ(dib.Pixel(4 + x, 4), want_bottom)
              << "x " << x << " transparent " << transparent << " bits " << bits;
        }
        EXPECT_EQ(dib.Pixel(7, 3), background);
      }
    }
  }
}

TEST_F(FrameworkTest, PanelsLayOutAlignedChildrenInsideBorderAndMargin) {
  // The program's nesting: a raised panel, inside it a bordered panel with a one-pixel margin, a
  // client-aligned child created before a top-aligned banner.
  TestForm form;
  form.SetClientSize(532, 307);
  fw::Panel& outer = form.Make<fw::Panel>();
  outer.SetBounds(0, 0, 534, 450);
  fw::Panel& inner = outer.Make<fw::Panel>();
  inner.SetAlign(fw::alClient);
  inner.SetBevelOuter(fw::bvNone);
  inner.SetBorderStyle(fw::bsSingle);
  inner.SetBorderWidth(1);
  Probe& backdrop = inner.Make<Probe>("backdrop", nullptr, RECT{0, 0, 10, 10});
  backdrop.SetAlign(fw::alClient);
  Probe& banner = inner.Make<Probe>("banner", nullptr, RECT{1, 1, 100, 16});
  banner.SetAlign(fw::alTop);
  banner.SetVisible(false);
  form.FinishCreate();

  const RECT client = form.ClientRect();
  EXPECT_EQ(client.right, 532);
  EXPECT_EQ(client.bottom, 307);
  EXPECT_EQ(inner.BoundsRect().left, 1);
  EXPECT_EQ(inner.BoundsRect().top, 1);
  EXPECT_EQ(inner.Width(), 532);
  EXPECT_EQ(inner.Height(), 448);

  struct Case {
    bool banner_shown;
    RECT backdrop;
    RECT banner;
  };
  const Case cases[] = {
      {false, RECT{1, 1, 529, 445}, RECT{}},
      {true, RECT{1, 16, 529, 445}, RECT{1, 1, 529, 16}},
      {false, RECT{1, 1, 529, 445}, RECT{}},
  };
  for (const Case& c : cases) {
    banner.SetVisible(c.banner_shown);
    const RECT b = backdrop.BoundsRect();
    EXPECT_EQ(b.left, c.backdrop.left) << c.banner_shown;
    EXPECT_EQ(b.top, c.backdrop.top) << c.banner_shown;
    EXPECT_EQ(b.right, c.backdrop.right) << c.banner_shown;
    EXPECT_EQ(b.bottom, c.backdrop.bottom) << c.banner_shown;
    if (c.banner_shown) {
      const RECT t = banner.BoundsRect();
      EXPECT_EQ(t.left, c.banner.left);
      EXPECT_EQ(t.top, c.banner.top);
      EXPECT_EQ(t.right, c.banner.right);
      EXPECT_EQ(t.bottom, c.banner.bottom);
    }
  }
  // An aligned control that is moved goes back where its alignment puts it.
  backdrop.SetBounds(7, 7, 5, 5);
  EXPECT_EQ(backdrop.Left(), 1);
  EXPECT_EQ(backdrop.Width(), 528);
}

TEST_F(FrameworkTest, PanelBevelIsLightTopLeftAndDarkBottomRight) {
  TestForm form;
  form.SetClientSize(40, 30);
  TestPanel& panel = form.Make<TestPanel>();
  panel.SetBounds(0, 0, 40, 30);
  panel.SetColor(RGB(48, 48, 48));
  form.FinishCreate();
  Canvas own(40, 30);
  panel.PaintTo(own.Dc(), RECT{0, 0, 40, 30});
  const COLORREF light = fw::ColorToRGB(fw::clBtnHighlight);
  const COLORREF dark = fw::ColorToRGB(fw::clBtnShadow);
  EXPECT_EQ(own.Pixel(0, 0), light);
  EXPECT_EQ(own.Pixel(20, 0), light);
  EXPECT_EQ(own.Pixel(0, 15), light);
  EXPECT_EQ(own.Pixel(39, 15), dark);
  EXPECT_EQ(own.Pixel(20, 29), dark);
  EXPECT_EQ(own.Pixel(39, 0), dark) << "the dark edges take the far corners";
  EXPECT_EQ(own.Pixel(0, 29), dark);
  EXPECT_EQ(own.Pixel(20, 15), RGB(48, 48, 48));
}

}  // namespace
}  // namespace test
