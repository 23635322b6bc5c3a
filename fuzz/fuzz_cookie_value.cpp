// vlauth_build_cookie_value: "ov_token=" and the token for a token with the token shape
// (error text emptied), null with "invalid jwt" otherwise; extracting from the cookie
// gives the token back.
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  std::vector<fuzz::Arg> args = fuzz::split(data, size, 1);
  const char *token = fuzz::c_str(args[0]);
  vlauth_free(vlauth_parse_jwt_claims_json(nullptr, 0));  // leaves "malformed jwt"
  char *cookie = vlauth_build_cookie_value(token);
  if (!fuzz::token_shape_ok(token)) {
    FUZZ_CHECK(cookie == nullptr);
    FUZZ_CHECK(fuzz::error_is("invalid jwt"));
    return 0;
  }
  FUZZ_CHECK(cookie != nullptr);
  FUZZ_CHECK(fuzz::error_is(""));
  FUZZ_CHECK(std::string(cookie) == "ov_token=" + *args[0], cookie);
  char *back = vlauth_extract_token(cookie);
  FUZZ_CHECK(back != nullptr && *args[0] == back, *args[0]);
  vlauth_free(back);
  vlauth_free(cookie);
  return 0;
}
