// Token transport: finding a token in cookie, query or URL text, and the cookie
// assignment that carries one.
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "test_support.h"

namespace {

using vltest::last_error;
using vltest::take;

TEST(ExtractToken, Table) {
  struct Case {
    const char *text;
    const char *token;  // null when none is found
  };
  const Case cases[] = {
      // The cookie, alone, among others, or at the end of a longer cookie name.
      {"ov_token=a.b.c", "a.b.c"},
      {"theme=dark; ov_token=h.p.s; lang=en", "h.p.s"},
      {"session_ov_token=a.b.c", "a.b.c"},
      {"x=1&ov_token=a.b.c&y=2", "a.b.c"},
      // The generic key at the start or after one of its four separators.
      {"token=a.b.c", "a.b.c"},
      {"https://app.example/cb?token=a.b.c", "a.b.c"},
      {"https://app.example/cb?x=1&token=a.b.c#frag", "a.b.c"},
      {"https://app.example/cb?token=a.b.c&next=%2F", "a.b.c"},
      {"lang=en;token=a.b.c", "a.b.c"},
      {"lang=en; token=a.b.c;", "a.b.c"},
      // Any other byte before the first "token=" ends the search.
      {"xtoken=a.b.c", nullptr},
      {"a\ttoken=a.b.c", nullptr},
      {"a,token=a.b.c", nullptr},
      {"https://app.example/token=a.b.c", nullptr},
      {"mytoken=x&token=a.b.c", nullptr},
      // Case-sensitive patterns.
      {"OV_TOKEN=a.b.c", nullptr},
      {"TOKEN=a.b.c", nullptr},
      {"Ov_token=a.b.c", nullptr},
      // "ov_token=" wins over "token=", whichever comes first.
      {"token=x.y.z; ov_token=a.b.c", "a.b.c"},
      {"ov_token=a.b.c; token=x.y.z", "a.b.c"},
      // A useless "ov_token=" value makes its own name the first "token=": no token.
      {"ov_token=; token=x.y.z", nullptr},
      {"ov_token=bad; token=x.y.z", nullptr},
      {"ov_token=&token=x.y.z", nullptr},
      // ... unless a free-standing "token=" comes first.
      {"token=x.y.z; ov_token=", "x.y.z"},
      {"token=x.y.z; ov_token=bad", "x.y.z"},
      // Only the first occurrence of each pattern counts.
      {"token=bad&token=a.b.c", nullptr},
      {"ov_token=bad; ov_token=a.b.c", nullptr},
      {"token=&token=a.b.c", nullptr},
      // Values taken verbatim, ended by whitespace, ";", "&" or "#".
      {"ov_token= a.b.c", nullptr},
      {"ov_token=\"a.b.c\"", nullptr},
      {"ov_token=a%2Eb%2Ec", nullptr},
      {"ov_token=a.b.c.d", nullptr},
      {"ov_token=a.b.c\tmore", "a.b.c"},
      {"ov_token=a.b.c more", "a.b.c"},
      {"ov_token=a.b.c\r\n", "a.b.c"},
      {"ov_token=a.b.c#x", "a.b.c"},
      {"ov_token=a.b=.c==;", "a.b=.c=="},
      {"ov_token=a.b,c", nullptr},
      {"", nullptr},
      {nullptr, nullptr},
      {"token=", nullptr},
      {"ov_token=", nullptr},
      {"no token here", nullptr},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.text ? c.text : "(null)");
    std::optional<std::string> found = take(vlauth_extract_token(c.text));
    if (c.token != nullptr) {
      EXPECT_EQ(found, std::string(c.token));
    } else {
      EXPECT_EQ(found, std::nullopt);
    }
  }
}

TEST(ExtractToken, LongTextAndLongToken) {
  const std::string token = std::string(100000, 'h') + "." + std::string(100000, 'p') + ".s";
  const std::string text = std::string(50000, 'x') + "; ov_token=" + token + "; y=1";
  EXPECT_EQ(take(vlauth_extract_token(text.c_str())), token);
}

TEST(CookieValue, BuildsTheAssignmentAndRoundTrips) {
  const std::vector<std::string> tokens = {
      "a.b.c", "=.==.===", vltest::kSampleToken, vltest::token_for("{\"sub\":\"x\"}"),
      std::string(70000, 'A') + ".b.c"};
  for (const std::string &token : tokens) {
    SCOPED_TRACE(token.substr(0, 40));
    vltest::leave_message();
    std::optional<std::string> cookie = take(vlauth_build_cookie_value(token.c_str()));
    ASSERT_TRUE(cookie);
    EXPECT_EQ(*cookie, "ov_token=" + token);
    EXPECT_EQ(cookie->size(), token.size() + 9);
    EXPECT_EQ(last_error(), "");
    EXPECT_EQ(take(vlauth_extract_token(cookie->c_str())), token);
    EXPECT_EQ(take(vlauth_extract_token(("a=b; " + *cookie + "; c=d").c_str())), token);
  }
}

}  // namespace
