// The self-test: the GUID rule, the claims decoder and the session policy, called as a
// host would call them, against inputs built into the library at a fixed time.
#include <string.h>

#include "vlauth_internal.h"

namespace {

const char k_sample_guid[] = "11111111-2222-3333-4444-555555555555";
const char k_malformed_guid[] = "../bad";
const int64_t k_test_time = 1700000000;

// Header {"alg":"none","typ":"JWT"}; payload {"sub":<sample GUID>,
// "email":"listener@example.com","iss":"https://auth.example.com","exp":4102444800,
// "iat":1700000000,"permissions":["admin"]}; a placeholder in place of a signature.
const char k_sample_token[] =
    "eyJhbGciOiJub25lIiwidHlwIjoiSldUIn0."
    "eyJzdWIiOiIxMTExMTExMS0yMjIyLTMzMzMtNDQ0NC01NTU1NTU1NTU1NTUiLCJlbWFpbCI6Imxpc3RlbmVy"
    "QGV4YW1wbGUuY29tIiwiaXNzIjoiaHR0cHM6Ly9hdXRoLmV4YW1wbGUuY29tIiwiZXhwIjo0MTAyNDQ0ODAw"
    "LCJpYXQiOjE3MDAwMDAwMDAsInBlcm1pc3Npb25zIjpbImFkbWluIl19."
    "c2VsZnRlc3Q";

// True when `text` is not null and holds both fragments; releases `text` either way.
bool holds_both(char *text, const char *first, const char *second) {
  bool ok = text != nullptr && strstr(text, first) != nullptr && strstr(text, second) != nullptr;
  vlauth_free(text);
  return ok;
}

}  // namespace

extern "C" VLAUTH_API int32_t VLAUTH_CALL vlauth_selftest(void) {
  if (vlauth_is_valid_guid(k_sample_guid) != 0) return 1;
  if (vlauth_is_valid_guid(k_malformed_guid) == 0) return 2;
  if (!holds_both(vlauth_parse_jwt_claims_json(k_sample_token, k_test_time),
                  "\"isAdmin\":true", "\"isExpired\":false")) {
    return 3;
  }
  if (!holds_both(vlauth_session_policy_json(nullptr, k_test_time, nullptr, nullptr),
                  "\"mode\":\"guest\"", "\"mode\":\"guest\"")) {
    return 4;
  }
  if (!holds_both(vlauth_session_policy_json(k_sample_token, k_test_time, DEFAULT_DIST_BASE_URL,
                                             DEFAULT_MUSIC_BASE_URL),
                  "\"mode\":\"signed_in\"", k_sample_guid)) {
    return 5;
  }
  return 0;
}
