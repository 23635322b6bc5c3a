// vlauth_session_policy_json: never null (short of memory, or a base URL that cannot be
// written as JSON text for a signed-in session), always one of the two fourteen-member
// shapes, signed in exactly when the claims decoder says a valid GUID that has not
// expired, with the user and URLs that belong to it; the error text always emptied.
// Input: mode byte, token (or payload), NUL, time, NUL, distribution base, NUL, music base.
#include "fuzz_support.h"

namespace {

const char kGuest[] =
    "{\"mode\":\"guest\",\"isSignedIn\":false,\"isAdmin\":false,\"canUseCloudLibrary\":false,"
    "\"canUseWishlist\":false,\"canImportLocalFiles\":true,\"canAddCustomFeeds\":true,"
    "\"userId\":null,\"email\":null,\"userFeedBaseURL\":null,\"playlistsApiURL\":null,"
    "\"worldApiURL\":null,\"searchApiURL\":null,\"wishlistApiURL\":null}";

using fuzz::Type;
const std::vector<fuzz::Member> kSignedInMembers{
    {"mode", Type::str},          {"isSignedIn", Type::boolean},
    {"isAdmin", Type::boolean},   {"canUseCloudLibrary", Type::boolean},
    {"canUseWishlist", Type::boolean}, {"canImportLocalFiles", Type::boolean},
    {"canAddCustomFeeds", Type::boolean}, {"userId", Type::str},
    {"email", Type::str},         {"userFeedBaseURL", Type::str},
    {"playlistsApiURL", Type::str}, {"worldApiURL", Type::str},
    {"searchApiURL", Type::str},  {"wishlistApiURL", Type::str}};

std::string base_or(const fuzz::Arg &given, const char *fallback) {
  return given && !given->empty() ? *given : std::string(fallback);
}

bool flag(yyjson_val *obj, const char *key) { return yyjson_is_true(yyjson_obj_get(obj, key)); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size == 0) return 0;
  std::vector<fuzz::Arg> a = fuzz::split(data + 1, size - 1, 4);
  fuzz::TokenInput in = fuzz::make_token(a[0], (data[0] & 1) != 0);
  int64_t now = fuzz::parse_time(a[1]);
  const char *token = fuzz::c_str(in.token);

  // What the claims decoder says about the token decides the session.
  char *claims_text = token != nullptr && token[0] != '\0' ? vlauth_parse_jwt_claims_json(token, now) : nullptr;
  fuzz::Json claims(claims_text);
  vlauth_free(claims_text);
  yyjson_val *claims_root = claims.root();
  bool signed_in = claims_root != nullptr && flag(claims_root, "hasValidGuid") && !flag(claims_root, "isExpired");

  fuzz::leave_message();
  char *text = vlauth_session_policy_json(token, now, fuzz::c_str(a[2]), fuzz::c_str(a[3]));
  FUZZ_CHECK(fuzz::error_is(""), "error text not emptied");
  if (!signed_in) {
    FUZZ_CHECK(text != nullptr && strcmp(text, kGuest) == 0, text ? text : "(null)");
    vlauth_free(text);
    return 0;
  }

  std::string dist = fuzz::trimmed(base_or(a[2], "https://dist.example.com"));
  std::string music = fuzz::trimmed(base_or(a[3], "https://music.example.com"));
  if (text == nullptr) {
    FUZZ_CHECK(!fuzz::writable_utf8(dist) || !fuzz::writable_utf8(music), "null policy");
    return 0;
  }
  fuzz::Json doc(text);
  vlauth_free(text);
  yyjson_val *root = doc.root();
  fuzz::check_members(root, kSignedInMembers, "signed-in policy");
  FUZZ_CHECK(fuzz::str_of(root, "mode") == "signed_in");
  FUZZ_CHECK(flag(root, "isSignedIn") && flag(root, "canUseCloudLibrary") && flag(root, "canUseWishlist") &&
             flag(root, "canImportLocalFiles") && flag(root, "canAddCustomFeeds"));
  FUZZ_CHECK(flag(root, "isAdmin") == flag(claims_root, "isAdmin"));
  std::string user = fuzz::str_of(claims_root, "sub");
  FUZZ_CHECK(fuzz::str_of(root, "userId") == user);
  FUZZ_CHECK(fuzz::str_of(root, "email") == fuzz::str_of(claims_root, "email"));
  FUZZ_CHECK(fuzz::str_of(root, "userFeedBaseURL") == dist + "/music/" + user);
  FUZZ_CHECK(fuzz::str_of(root, "playlistsApiURL") == music + "/playlists/api?format=json");
  FUZZ_CHECK(fuzz::str_of(root, "worldApiURL") == music + "/world/api");
  FUZZ_CHECK(fuzz::str_of(root, "searchApiURL") == music + "/search/api");
  FUZZ_CHECK(fuzz::str_of(root, "wishlistApiURL") == music + "/wishlist/api/mine");
  return 0;
}
