// The three syntactic rules: the token shape (seen through the exports that apply it),
// the base URL (through the web login URL) and the GUID, and their independence from
// the locale the host sets.
#include <clocale>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "test_support.h"

namespace {

using vltest::last_error;
using vltest::take;

struct ShapeCase {
  std::string token;
  bool valid;
};

const std::vector<ShapeCase> &shape_cases() {
  static const std::vector<ShapeCase> cases = {
      {"a.b.c", true},
      {"a.b.c=", true},
      {"=.==.===", true},
      {"AZaz.09-_.=Xy", true},
      {std::string(5000, 'A') + "." + std::string(5000, 'b') + "." + std::string(5000, '_'),
       true},
      {"a.b.", false},
      {".a.b.c", false},
      {".a.b", false},
      {"a..b.c", false},
      {"a.b..c", false},
      {"a.b", false},
      {"a.b.c.d", false},
      {"a.b.c.", false},
      {"abc", false},
      {"..", false},
      {"", false},
      {"a+.b.c", false},
      {"a./.c", false},
      {"a.b c.d", false},
      {"a\tb.c.d", false},
      {"a.b%41.c", false},
      {"a.b.c\x7F", false},
      {"a.\xC3\xA9.c", false},
      {"a.b.c\xFF", false},
  };
  return cases;
}

// The cookie builder, the token search and the claims decoder all apply the same rule.
TEST(TokenShape, SameAnswerFromEveryExportThatAppliesIt) {
  for (const ShapeCase &c : shape_cases()) {
    SCOPED_TRACE("token \"" + c.token.substr(0, 40) + "\"");
    std::optional<std::string> cookie = take(vlauth_build_cookie_value(c.token.c_str()));
    if (c.valid) {
      EXPECT_EQ(cookie, "ov_token=" + c.token);
      EXPECT_EQ(last_error(), "");
    } else {
      EXPECT_EQ(cookie, std::nullopt);
      EXPECT_EQ(last_error(), "invalid jwt");
    }

    std::optional<std::string> found = take(vlauth_extract_token(("ov_token=" + c.token).c_str()));
    EXPECT_EQ(found, c.valid ? std::optional<std::string>(c.token) : std::nullopt);

    vlauth_free(vlauth_parse_jwt_claims_json(c.token.c_str(), vltest::kNow));
    if (c.valid) {
      EXPECT_NE(last_error(), "malformed jwt");
    } else {
      EXPECT_EQ(last_error(), "malformed jwt");
    }
  }
  EXPECT_EQ(take(vlauth_build_cookie_value(nullptr)), std::nullopt);
  EXPECT_EQ(last_error(), "invalid jwt");
  vlauth_free(vlauth_parse_jwt_claims_json(nullptr, vltest::kNow));
  EXPECT_EQ(last_error(), "malformed jwt");
}

TEST(BaseUrl, RuleSeenThroughTheWebLoginUrl) {
  struct Case {
    const char *base;
    const char *login_url;  // null when the base is refused
  };
  const Case cases[] = {
      {"https://", nullptr},
      {"http://", nullptr},
      {"https://a", "https://a/login"},
      {"http://a", nullptr},
      {"http://ab", "http://ab/login"},
      {"https:///", "https:/login"},
      {"https://a!", "https://a!/login"},
      {"ftp://example.com", nullptr},
      {"HTTPS://example.com", nullptr},
      {"Https://example.com", nullptr},
      {"HTTP://example.com", nullptr},
      {"https:/example.com", nullptr},
      {" https://example.com", nullptr},
      {"https://exa mple.com", nullptr},
      {"https://example.com\t", nullptr},
      {"https://example.com/\n", nullptr},
      {"https://ex\x7F" "ample.com", nullptr},
      {"https://\x01" "example.com", nullptr},
      {"https://example.com\x1F", nullptr},
      {"https://b\xC3\xBC" "cher.example", "https://b\xC3\xBC" "cher.example/login"},
      {"https://\xFF\x80", "https://\xFF\x80/login"},
      {"https://example.com/auth/", "https://example.com/auth/login"},
      {nullptr, nullptr},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.base ? c.base : "(null)");
    vltest::leave_message();
    std::optional<std::string> url = take(vlauth_build_web_login_url(c.base, nullptr));
    if (c.login_url != nullptr) {
      EXPECT_EQ(url, std::string(c.login_url));
      EXPECT_EQ(last_error(), "invalid jwt");  // left as it was
    } else {
      EXPECT_EQ(url, std::nullopt);
      EXPECT_EQ(last_error(), "invalid auth_base_url");
    }
  }
}

TEST(Guid, Rule) {
  struct Case {
    const char *guid;
    int32_t result;
  };
  const Case cases[] = {
      {"11111111-2222-3333-4444-555555555555", 0},
      {"ABCDEFAB-CDEF-ABCD-EFAB-CDEFABCDEF01", 0},
      {"abcdefab-cdef-abcd-efab-cdefabcdef01", 0},
      {"aBcDeF01-AbCd-eF23-4567-89abCDEFabcd", 0},
      {"00000000-0000-0000-0000-000000000000", 0},
      {"{11111111-2222-3333-4444-555555555555}", -1},
      {"g1111111-2222-3333-4444-555555555555", -1},
      {"11111111-2222-3333-4444-55555555555G", -1},
      {"1111111-12222-3333-4444-555555555555", -1},
      {"11111111-2222-3333-44444-55555555555", -1},
      {"11111111-2222-3333-4444-55555555555", -1},
      {"11111111-2222-3333-4444-5555555555555", -1},
      {"111111112222233333444445555555555555", -1},
      {"11111111-2222-3333-4444-55555555555\xE9", -1},
      {"11111111 2222 3333 4444 555555555555", -1},
      {"------------------------------------", -1},
      {"../bad", -1},
      {"", -1},
      {nullptr, -1},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.guid ? c.guid : "(null)");
    EXPECT_EQ(vlauth_is_valid_guid(c.guid), c.result);
  }
  // A GUID followed by more text is too long, however it goes on.
  std::string long_text = std::string(vltest::kGuid) + std::string(100000, '0');
  EXPECT_EQ(vlauth_is_valid_guid(long_text.c_str()), -1);
}

// The byte classes are ASCII ones: a host that sets a locale of its own gets the answers
// of the C locale. Each check runs under "C" and then under another installed locale.
class LocaleIndependence : public ::testing::Test {
 protected:
  void TearDown() override { std::setlocale(LC_ALL, "C"); }

  // The first of a few common non-C locales that this machine has, or null.
  static const char *other_locale() {
    static const char *const candidates[] = {
        "en_US.ISO-8859-1", "de_DE.ISO-8859-1", "fr_FR.ISO-8859-1", "en_US.iso88591",
        "en_US.UTF-8",      "de_DE.UTF-8",      "C.UTF-8",          "C.utf8"};
    for (const char *name : candidates) {
      if (std::setlocale(LC_ALL, name) != nullptr) {
        std::setlocale(LC_ALL, "C");
        return name;
      }
    }
    return nullptr;
  }

  // Runs `check` under the C locale and under the other locale; skips the second run,
  // with a note, when no other locale is installed.
  template <typename Check>
  void in_both_locales(Check check) {
    ASSERT_NE(std::setlocale(LC_ALL, "C"), nullptr);
    {
      SCOPED_TRACE("locale C");
      check();
    }
    const char *name = other_locale();
    if (name == nullptr) GTEST_SKIP() << "no locale other than C is installed";
    ASSERT_NE(std::setlocale(LC_ALL, name), nullptr);
    SCOPED_TRACE(std::string("locale ") + name);
    check();
  }
};

bool is_token_char(int c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
         c == '-' || c == '=' || c == '_';
}
// What ends a token value: the C locale's whitespace and three separators.
bool ends_value(int c) {
  return c == ' ' || (c >= '\t' && c <= '\r') || c == ';' || c == '&' || c == '#';
}

TEST_F(LocaleIndependence, TokenCharactersAndValueEnds) {
  in_both_locales([] {
    for (int c = 1; c < 256; ++c) {
      if (c == '.') continue;
      SCOPED_TRACE("byte " + std::to_string(c));
      const std::string byte(1, static_cast<char>(c));
      const std::string token = "a.b" + byte + "x.c";
      EXPECT_EQ(take(vlauth_build_cookie_value(token.c_str())).has_value(), is_token_char(c));

      // After a valid token, the byte either ends the value, joins a still valid token,
      // or spoils it.
      std::optional<std::string> found =
          take(vlauth_extract_token(("ov_token=a.b.c" + byte + "x").c_str()));
      if (ends_value(c)) {
        EXPECT_EQ(found, "a.b.c");
      } else if (is_token_char(c)) {
        EXPECT_EQ(found, "a.b.c" + byte + "x");
      } else {
        EXPECT_EQ(found, std::nullopt);
      }
    }
  });
}

TEST_F(LocaleIndependence, PercentEncodingOfBytesAbove127) {
  in_both_locales([] {
    for (int c = 128; c < 256; ++c) {
      static const char hex[] = "0123456789ABCDEF";
      const std::string byte(1, static_cast<char>(c));
      const std::string expected =
          std::string("https://a.example/login?redirect=%") + hex[c >> 4] + hex[c & 15];
      EXPECT_EQ(take(vlauth_build_web_login_url("https://a.example", byte.c_str())), expected)
          << "byte " << c;
    }
  });
}

}  // namespace
