// cpp_session.cpp - a C++ host of the library through vlauth.hpp: every returned string is
// owned by a result and released on scope exit; a refusal carries its message.
#include <cstdint>
#include <cstdio>
#include <string>

#include <vlauth.hpp>

#include "sample_token.h"

namespace {

// 2023-11-14T22:13:20Z, the sample token's issue time.
constexpr std::int64_t kNow = 1700000000;

void show(const char *title, const vlauth::result &outcome) {
  if (outcome) {
    std::printf("%s: %s\n", title, outcome.c_str());
  } else {
    std::printf("%s: refused: %s\n", title, outcome.error());
  }
}

}  // namespace

int main() {
  if (!vlauth::abi_compatible()) {
    std::fprintf(stderr, "library ABI %d, expected %d\n", static_cast<int>(vlauth::abi_version()),
                 VLAUTH_ABI_VERSION);
    return 1;
  }
  std::printf("library %s, self-test %s\n", vlauth::version(),
              vlauth::selftest() == 0 ? "passed" : "failed");

  const std::string token = VLAUTH_SAMPLE_TOKEN;
  show("claims", vlauth::parse_jwt_claims_json(token, kNow));
  show("policy", vlauth::session_policy_json(token, kNow, "https://dist.example.org/"));

  // A token travels as a cookie and is found again in the cookie header.
  const vlauth::result cookie = vlauth::build_cookie_value(token);
  show("cookie header token", vlauth::extract_token("theme=dark; " + std::string(cookie.text())));

  show("login url",
       vlauth::build_web_login_url("https://auth.example.com", "app://signed-in?tab=home"));
  show("login request", vlauth::build_login_request_json("https://auth.example.com",
                                                         "listener@example.com", "correct horse"));
  show("a malformed token", vlauth::parse_jwt_claims_json("not-a-token", kNow));
  std::printf("valid guid: %s\n", vlauth::is_valid_guid("../bad") ? "yes" : "no");
  return 0;
}
