// The C++ API of vlauth.hpp: ownership of returned strings, results that carry the text or
// the reason, and arguments from C strings, std::string and nullptr. Under the asan preset
// a double release or a leak in the ownership types fails these tests.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <type_traits>
#include <utility>

#include "test_support.h"
#include "vlauth.hpp"

namespace {

using vltest::kGuid;
using vltest::kNow;
using vltest::kSampleToken;

static_assert(!std::is_copy_constructible_v<vlauth::owned_string>);
static_assert(std::is_nothrow_move_assignable_v<vlauth::owned_string>);
static_assert(!std::is_copy_constructible_v<vlauth::result>);
static_assert(std::is_nothrow_move_constructible_v<vlauth::result>);

char *library_string(const char *auth_base) { return vlauth_build_web_login_url(auth_base, ""); }

TEST(CppApi, OwnedStringReleasesExactlyOnce) {
  vlauth::owned_string empty;
  EXPECT_FALSE(empty);
  EXPECT_EQ(empty.get(), nullptr);
  EXPECT_STREQ(empty.c_str(), "");
  EXPECT_TRUE(empty.view().empty());

  vlauth::owned_string first(library_string("https://a.example.com"));
  ASSERT_TRUE(first);
  EXPECT_EQ(first.view(), "https://a.example.com/login");

  vlauth::owned_string second(std::move(first));
  EXPECT_FALSE(first);  // a moved-from owner owns nothing
  EXPECT_EQ(second.view(), "https://a.example.com/login");

  second = vlauth::owned_string(library_string("https://b.example.com"));  // releases the first
  EXPECT_EQ(second.view(), "https://b.example.com/login");
  second = std::move(second);  // self-move keeps the string
  EXPECT_EQ(second.view(), "https://b.example.com/login");

  second.reset(library_string("https://c.example.com"));
  char *mine = second.release();
  EXPECT_FALSE(second);
  EXPECT_STREQ(mine, "https://c.example.com/login");
  vlauth_free(mine);
}

TEST(CppApi, ResultsCarryTextOrReason) {
  const std::string token = kSampleToken;  // std::string arguments
  const struct {
    const char *what;
    vlauth::result outcome;
    const char *text;   // on success
    const char *error;  // on failure
  } cases[] = {
      {"claims", vlauth::parse_jwt_claims_json(token, kNow),
       R"({"sub":"11111111-2222-3333-4444-555555555555","email":"listener@example.com",)"
       R"("iss":"https://auth.example.com","exp":4102444800,"iat":1700000000,)"
       R"("isExpired":false,"isAdmin":true,"hasValidGuid":true,"permissions":["admin"]})",
       nullptr},
      {"claims refused", vlauth::parse_jwt_claims_json("x.y", kNow), nullptr, "malformed jwt"},
      {"claims of null", vlauth::parse_jwt_claims_json(nullptr, kNow), nullptr, "malformed jwt"},
      {"extract", vlauth::extract_token("a=1; ov_token=" + token), kSampleToken.c_str(), nullptr},
      {"extract, none", vlauth::extract_token("a=1"), nullptr, "no token found"},
      {"cookie", vlauth::build_cookie_value("h.p.s"), "ov_token=h.p.s", nullptr},
      {"cookie refused", vlauth::build_cookie_value(nullptr), nullptr, "invalid jwt"},
      {"login request", vlauth::build_login_request_json("http://a.example.com", "l@x.com", "pw"),
       R"({"method":"POST","url":"http://a.example.com/api/login",)"
       R"("contentType":"application/json","body":"{\"email\":\"l@x.com\",\"password\":\"pw\"}"})",
       nullptr},
      {"login request refused",
       vlauth::build_login_request_json("https://a.example.com", std::string("l@x.com"), ""),
       nullptr, "empty password"},
      {"login url", vlauth::build_web_login_url("https://a.example.com/"),
       "https://a.example.com/login", nullptr},
      {"login url, redirect", vlauth::build_web_login_url("https://a.example.com", "/x y"),
       "https://a.example.com/login?redirect=%2Fx%20y", nullptr},
      {"login url refused", vlauth::build_web_login_url(nullptr, "/x"), nullptr,
       "invalid auth_base_url"},
      // A null the library leaves unexplained gets this header's own reason.
      {"policy, base not UTF-8", vlauth::session_policy_json(token, kNow, "https://\xff"), nullptr,
       "out of memory or text that is not valid UTF-8"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(c.outcome.ok(), c.error == nullptr);
    EXPECT_EQ(static_cast<bool>(c.outcome), c.outcome.ok());
    if (c.error == nullptr) {
      EXPECT_STREQ(c.outcome.error(), "");
      EXPECT_EQ(c.outcome.text(), c.text);
      EXPECT_EQ(c.outcome.text(), c.outcome.c_str());
    } else {
      EXPECT_STREQ(c.outcome.error(), c.error);
      EXPECT_TRUE(c.outcome.text().empty());
      EXPECT_STREQ(c.outcome.c_str(), "");
    }
  }
  const vlauth::result policy = vlauth::session_policy_json(token, kNow, nullptr, "");
  EXPECT_NE(policy.text().find("\"userFeedBaseURL\":\"https://dist.example.com/music/" + kGuid),
            std::string::npos);
  EXPECT_NE(policy.text().find("\"worldApiURL\":\"https://music.example.com/world/api\""),
            std::string::npos);
}

TEST(CppApi, ReasonIsTheCallsOwnNotALaterOrEarlierMessage) {
  const vlauth::result refused = vlauth::parse_jwt_claims_json("x", kNow);
  vltest::leave_message();  // "invalid jwt" now stands in the thread's error text
  EXPECT_STREQ(refused.error(), "malformed jwt");
  // The token search never writes the error text: the stale message is not its reason.
  EXPECT_STREQ(vlauth::extract_token("nothing").error(), "no token found");
  EXPECT_STREQ(vlauth::last_error(), "invalid jwt");
}

TEST(CppApi, TakeHandsTheTextOver) {
  vlauth::result url = vlauth::build_web_login_url("https://a.example.com");
  vlauth::owned_string text = url.take();
  EXPECT_EQ(text.view(), "https://a.example.com/login");
  EXPECT_FALSE(url.ok());
  EXPECT_STREQ(url.error(), "");
}

TEST(CppApi, FrameFunctionsAnswerAsTheCOnes) {
  EXPECT_EQ(vlauth::version(), vlauth_version());
  EXPECT_EQ(vlauth::abi_version(), VLAUTH_ABI_VERSION);
  EXPECT_TRUE(vlauth::abi_compatible());
  EXPECT_EQ(vlauth::selftest(), 0);
  EXPECT_TRUE(vlauth::is_valid_guid(kGuid));
  EXPECT_TRUE(vlauth::is_valid_guid(kGuid.c_str()));
  EXPECT_FALSE(vlauth::is_valid_guid(nullptr));
  EXPECT_FALSE(vlauth::is_valid_guid("{" + kGuid + "}"));
}

}  // namespace
