// vlauth_parse_jwt_claims_json: either null with exactly one of its three messages, or
// the nine-member claims document, in order and with its types, whose decisions agree
// with its own members. Input: mode byte, token (or payload), NUL, time.
#include "fuzz_support.h"

namespace {

const std::vector<fuzz::Member> kClaimsMembers{
    {"sub", fuzz::Type::str},          {"email", fuzz::Type::str},
    {"iss", fuzz::Type::str},          {"exp", fuzz::Type::integer},
    {"iat", fuzz::Type::integer},      {"isExpired", fuzz::Type::boolean},
    {"isAdmin", fuzz::Type::boolean},  {"hasValidGuid", fuzz::Type::boolean},
    {"permissions", fuzz::Type::array}};

const char *const kMessages[] = {"malformed jwt", "invalid jwt base64url payload",
                                 "jwt payload is not json object"};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size == 0) return 0;
  std::vector<fuzz::Arg> args = fuzz::split(data + 1, size - 1, 2);
  fuzz::TokenInput in = fuzz::make_token(args[0], (data[0] & 1) != 0);
  int64_t now = fuzz::parse_time(args[1]);
  const char *token = fuzz::c_str(in.token);

  fuzz::leave_message();
  char *text = vlauth_parse_jwt_claims_json(token, now);
  std::string error = vlauth_last_error();
  bool shape = fuzz::token_shape_ok(token);

  if (text == nullptr) {
    int matches = 0;
    for (const char *m : kMessages) matches += error == m;
    FUZZ_CHECK(matches == 1, "null claims with error text \"" + error + "\"");
    FUZZ_CHECK((error == kMessages[0]) == !shape, error);
    if (in.payload && shape) {
      // A payload that reads as a JSON object is never refused.
      fuzz::Json payload(in.payload->c_str());
      FUZZ_CHECK(!yyjson_is_obj(payload.root()), "a JSON object payload was refused: " + error);
    }
    return 0;
  }

  FUZZ_CHECK(shape, "claims for a token without the token shape");
  FUZZ_CHECK(error.empty(), "success with error text \"" + error + "\"");
  FUZZ_CHECK(strchr(text, '\n') == nullptr, "written text not compact");
  fuzz::Json doc(text);
  vlauth_free(text);
  yyjson_val *root = doc.root();
  fuzz::check_members(root, kClaimsMembers, "claims document");

  std::string sub = fuzz::str_of(root, "sub");
  int64_t exp = yyjson_get_sint(yyjson_obj_get(root, "exp"));
  if (yyjson_is_uint(yyjson_obj_get(root, "exp"))) {
    uint64_t u = yyjson_get_uint(yyjson_obj_get(root, "exp"));
    FUZZ_CHECK(u <= static_cast<uint64_t>(INT64_MAX), "exp beyond the signed 64-bit range");
    exp = static_cast<int64_t>(u);
  }
  FUZZ_CHECK(yyjson_get_bool(yyjson_obj_get(root, "hasValidGuid")) == fuzz::guid_ok(sub), sub);
  FUZZ_CHECK(yyjson_get_bool(yyjson_obj_get(root, "isExpired")) == (now > 0 && exp > 0 && now >= exp));
  bool admin = false;
  yyjson_val *perms = yyjson_obj_get(root, "permissions");
  size_t idx, max;
  yyjson_val *perm;
  yyjson_arr_foreach(perms, idx, max, perm) {
    FUZZ_CHECK(yyjson_is_str(perm), "a permission that is not a string");
    admin = admin || yyjson_equals_str(perm, "admin");
  }
  FUZZ_CHECK(yyjson_get_bool(yyjson_obj_get(root, "isAdmin")) == admin);
  if (in.payload) {
    // "sub" is the payload's first "sub" when that is a string, cut at an escaped NUL.
    fuzz::Json payload(in.payload->c_str());
    yyjson_val *want = yyjson_obj_get(payload.root(), "sub");
    std::string expected = yyjson_is_str(want) ? std::string(yyjson_get_str(want)) : "";
    FUZZ_CHECK(sub == expected, "sub \"" + sub + "\" expected \"" + expected + "\"");
  }
  return 0;
}
