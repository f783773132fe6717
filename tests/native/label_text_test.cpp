#include "widgets/label_text.h"

#include <gtest/gtest.h>

#include <string>

namespace widgets {
namespace {

TEST(LabelFlags, AlignmentTable) {
  const struct {
    TAlignment alignment;
    unsigned flags;
  } cases[] = {{agTopLeft, 0x0},    {agTopCenter, 0x1},    {agTopRight, 0x2},
               {agCenterLeft, 0x4}, {agCenter, 0x5},       {agCenterRight, 0x6},
               {agBottomLeft, 0x8}, {agBottomCenter, 0x9}, {agBottomRight, 0xA}};
  for (const auto& c : cases) {
    EXPECT_EQ(AlignmentFlags(c.alignment), c.flags) << int{c.alignment};
  }
}

TEST(LabelFlags, PaintFlagSets) {
  const struct {
    const char* name;
    TAlignment alignment;
    bool multi_line;
    bool show_accel_char;
    TLabelOptions options;
    unsigned reading;
    unsigned expected;
  } cases[] = {
      {"single-line top-left, no accelerators", agTopLeft, false, false, {}, 0, 0x870},
      {"centred banner with accelerators", agCenter, false, true, {}, 0, 0x75},
      {"multi-line drops single-line", agTopLeft, true, false, {}, 0, 0x850},
      {"bottom right, accelerators", agBottomRight, false, true, {}, 0, 0x7A},
      {"path ellipsis", agTopLeft, false, true, {loPathEllipsis}, 0, 0x4070},
      {"end ellipsis and edit control",
       agTopLeft,
       false,
       true,
       {loEndEllipsis, loEditControl},
       0,
       0xA070},
      {"label hint adds no flag", agTopLeft, false, false, {loShowLabelHint}, 0, 0x870},
      {"right-to-left reading passes through", agTopRight, false, false, {}, 0x20000, 0x20872},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(LabelPaintFlags(c.alignment, c.multi_line, c.show_accel_char, c.options, c.reading),
              c.expected)
        << c.name;
  }
}

TEST(LabelFlags, MeasureFlagSets) {
  const struct {
    const char* name;
    bool multi_line;
    bool show_accel_char;
    TLabelOptions options;
    unsigned expected;
  } cases[] = {
      {"single line, no accelerators", false, false, {}, 0xC60},
      {"single line, accelerators", false, true, {}, 0x460},
      {"multi-line wraps", true, true, {}, 0x450},
      {"multi-line, no accelerators", true, false, {}, 0xC50},
      {"options carried", false, true, {loPathEllipsis, loEndEllipsis, loShowLabelHint}, 0xC460},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(LabelMeasureFlags(c.multi_line, c.show_accel_char, c.options), c.expected) << c.name;
  }
}

TEST(LabelFlags, MeasuringNeverAligns) {
  // Alignment only places text inside a given rectangle; measuring must not shift the result.
  for (bool multi_line : {false, true}) {
    for (bool accel : {false, true}) {
      EXPECT_EQ(LabelMeasureFlags(multi_line, accel, {}) & 0xF, 0u);
    }
  }
}

TEST(LabelText, JumpTargetFallsBackToTheCaptionWhenBlank) {
  const struct {
    std::wstring jump;
    std::wstring expected;
  } cases[] = {
      {L"https://localhost:47443/about-us/contact", L"https://localhost:47443/about-us/contact"},
      {L"", L"caption"},
      {L"   ", L"caption"},
      {L"\t\r\n \x01\x1F", L"caption"},
      {L"  www.example.com ", L"  www.example.com "},  // used untrimmed
      {L"!", L"!"},                                    // code 33 is not blank
  };
  for (const auto& c : cases) {
    EXPECT_EQ(JumpTarget(c.jump, L"caption"), c.expected) << testing::PrintToString(c.jump);
  }
}

TEST(LabelText, ShellPrefixes) {
  const struct {
    std::wstring target;
    bool no_http_prefix;
    std::wstring expected;
  } cases[] = {
      {L"www.example.com", false, L"http://www.example.com"},
      {L"WWW.example.com", false, L"WWW.example.com"},
      {L"www.example.com", true, L"www.example.com"},
      {L"ftp.example.com", false, L"ftp://ftp.example.com"},
      {L"ftp.example.com", true, L"ftp://ftp.example.com"},
      {L"FTP.example.com", false, L"FTP.example.com"},
      {L"sales@example.com", false, L"mailto:sales@example.com"},
      {L"a@b", false, L"mailto:a@b"},
      {L"@example.com", false, L"@example.com"},
      {L"@me@example.com", false, L"@me@example.com"},  // only the first "@" counts
      {L"wwwsales@example.com", false, L"http://wwwsales@example.com"},
      {L"https://localhost:47443/about-us/contact", false,
       L"https://localhost:47443/about-us/contact"},
      {L"www.example.com:8080", false, L"www.example.com:8080"},
      {L"mailto:sales@example.com", false, L"mailto:sales@example.com"},
      {L"notepad.exe", false, L"notepad.exe"},
      {L"", false, L""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(UrlWithPrefix(c.target, c.no_http_prefix), c.expected)
        << testing::PrintToString(c.target) << " no_http " << c.no_http_prefix;
  }
}

TEST(Twinkle, TimerTakesTheLow16Bits) {
  const struct {
    std::int32_t ms;
    unsigned expected;
  } cases[] = {{700, 700}, {0, 0}, {65535, 65535}, {65536, 0}, {70000, 4464}, {-1, 65535}};
  for (const auto& c : cases) {
    EXPECT_EQ(TimerIntervalOf(c.ms), c.expected) << c.ms;
  }
}

TEST(Twinkle, PhasesAndTheirLengths) {
  constexpr std::int32_t kVisible = 300;
  constexpr std::int32_t kInvisible = 900;
  TwinklePhases phases;
  EXPECT_TRUE(phases.Shown());
  EXPECT_EQ(TwinklePhases::FirstInterval(kVisible), 300u);
  const struct {
    bool shown;
    unsigned interval;
  } ticks[] = {{false, 300}, {true, 900}, {false, 300}, {true, 900}};
  for (const auto& t : ticks) {
    EXPECT_EQ(phases.Tick(kVisible, kInvisible), t.interval);
    EXPECT_EQ(phases.Shown(), t.shown);
  }
  phases.Tick(kVisible, kInvisible);
  ASSERT_FALSE(phases.Shown());
  phases.Reset();
  EXPECT_TRUE(phases.Shown());
}

}  // namespace
}  // namespace widgets
