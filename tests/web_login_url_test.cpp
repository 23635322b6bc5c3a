// The browser login address: "/login" under the trimmed base, with the redirect target
// percent-encoded byte by byte.
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "test_support.h"

namespace {

using vltest::take;

std::optional<std::string> web_login(const char *base, const char *redirect) {
  return take(vlauth_build_web_login_url(base, redirect));
}

TEST(WebLoginUrl, WithoutRedirect) {
  for (const char *none : {static_cast<const char *>(nullptr), ""}) {
    EXPECT_EQ(web_login("https://auth.example.com", none), "https://auth.example.com/login");
    EXPECT_EQ(web_login("https://auth.example.com///", none), "https://auth.example.com/login");
    EXPECT_EQ(web_login("https://auth.example.com/sso/", none),
              "https://auth.example.com/sso/login");
  }
}

TEST(WebLoginUrl, PercentEncoding) {
  struct Case {
    const char *redirect;
    const char *encoded;
  };
  const Case cases[] = {
      {"AZaz09-._~", "AZaz09-._~"},
      {"https://app.example/cb?x=1&y=a+b#top",
       "https%3A%2F%2Fapp.example%2Fcb%3Fx%3D1%26y%3Da%2Bb%23top"},
      {"a b", "a%20b"},
      {"%41", "%2541"},
      {"\xE9", "%E9"},
      {"\xC3\xA9t\xC3\xA9", "%C3%A9t%C3%A9"},
      {"\x01\x1F\x7F\xFF", "%01%1F%7F%FF"},
      {"!*'();@$,[]\"<>\\^`{|}", "%21%2A%27%28%29%3B%40%24%2C%5B%5D%22%3C%3E%5C%5E%60%7B%7C%7D"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.redirect);
    EXPECT_EQ(web_login("https://auth.example.com/", c.redirect),
              std::string("https://auth.example.com/login?redirect=") + c.encoded);
  }
}

// Every byte from 1 to 255: unchanged when unreserved, otherwise "%" and two upper-case
// hex digits; the result is exactly as long as that makes it.
TEST(WebLoginUrl, EveryByteAndTheResultLength) {
  std::string redirect;
  std::string expected = "http://ab/login?redirect=";
  static const char hex[] = "0123456789ABCDEF";
  for (int c = 1; c < 256; ++c) {
    redirect += static_cast<char>(c);
    bool unreserved = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                      (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_' || c == '~';
    if (unreserved) {
      expected += static_cast<char>(c);
    } else {
      expected += '%';
      expected += hex[c >> 4];
      expected += hex[c & 15];
    }
  }
  EXPECT_EQ(web_login("http://ab//", redirect.c_str()), expected);

  // The worst case, every byte encoded, for a long target.
  const std::string long_redirect(30000, '/');
  std::optional<std::string> url = web_login("https://a", long_redirect.c_str());
  ASSERT_TRUE(url);
  EXPECT_EQ(url->size(), std::string("https://a/login?redirect=").size() + 3 * 30000);
}

}  // namespace
