#include "bootstrap/app/environment.h"

#include <gtest/gtest.h>

#include "origins.h"

namespace setup {
namespace {

struct EnvironmentCase {
  const char* name;
  std::optional<std::string> file_value;  // nullopt: no file
  std::uint8_t code;
  const char* origin;
};

TEST(EnvironmentTest, SelectsByNormalisedServerValue) {
  const std::string long_uat = std::string(300, ' ');  // only blanks survive the 255 cut
  const EnvironmentCase cases[] = {
      {"no file", std::nullopt, 0, kOriginProd},
      {"no section or key", std::string(), 0, kOriginProd},
      {"blanks around", std::string(" uat "), 1, kOriginUat},
      {"mixed case", std::string("Uat"), 1, kOriginUat},
      {"tabs and control chars", std::string("\t\x01sit\r"), 2, kOriginSit},
      {"dit", std::string("DIT"), 3, kOriginDit},
      {"PROD", std::string("PROD"), 0, kOriginProd},
      {"inner blanks", std::string("U A T"), 0, kOriginProd},
      {"suffix", std::string("UAT1"), 0, kOriginProd},
      {"only other letters upper-cased", std::string("\xE9UAT"), 0, kOriginProd},
      {"value judged by its first 255 chars", long_uat + "UAT", 0, kOriginProd},
      {"long value ending in blanks", std::string(10, ' ') + "uat" + std::string(300, ' '), 1,
       kOriginUat},
  };
  for (const EnvironmentCase& c : cases) {
    SCOPED_TRACE(c.name);
    const Environment env = SelectEnvironment(c.file_value);
    EXPECT_EQ(env.code, c.code);
    EXPECT_EQ(env.origin, c.origin);
  }
}

TEST(EnvironmentTest, NormalisationCutsBeforeTrimming) {
  // A value whose 256th character is a letter: the cut drops it, the trim then removes the rest.
  EXPECT_EQ(NormaliseServerValue(std::string(254, ' ') + "ab"), "A");
  EXPECT_EQ(NormaliseServerValue(" uAt\x7F"), "UAT\x7F");  // 127 is above 32: kept
  EXPECT_EQ(NormaliseServerValue("\xE4\xE9z"), "\xE4\xE9Z");
}

TEST(EnvironmentTest, BannerHasBulletsAroundTheValue) {
  const std::wstring bullets20(20, L'\u2022');
  const std::wstring bullets19(19, L'\u2022');
  EXPECT_EQ(EnvironmentBanner("UAT"), bullets20 + L"<UAT ENVIRONMENT>" + bullets19);
  const Environment sit = SelectEnvironment(std::string(" sit"));
  EXPECT_EQ(EnvironmentBanner(sit.value), bullets20 + L"<SIT ENVIRONMENT>" + bullets19);
}

}  // namespace
}  // namespace setup
