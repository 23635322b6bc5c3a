// The session policy: signed in or guest, the capability flags, who the user is and the
// endpoint URLs of the session.
#include <stdlib.h>
#include <string.h>

#include "vlauth_internal.h"

namespace {

// One endpoint URL is printed here at a time; a longer one goes to the heap, whole.
const size_t k_url_scratch_size = 512;

const char k_user_feed_path[] = "/music/";
const char k_playlists_path[] = "/playlists/api?format=json";
const char k_world_path[] = "/world/api";
const char k_search_path[] = "/search/api";
const char k_wishlist_path[] = "/wishlist/api/mine";

struct Base {
  const char *text;
  size_t len;  // without its trailing slashes
};

Base select_base(const char *given, const char *fallback) {
  const char *text = (given == nullptr || given[0] == '\0') ? fallback : given;
  return Base{text, trimmed_length(text, strlen(text))};
}

// Adds `key` with the URL `base` + `path` + `tail` (`tail` may be null). False when the
// URL cannot be stored, for memory or for a length that cannot be represented.
bool add_url(yyjson_mut_doc *doc, yyjson_mut_val *obj, const char *key, Base base,
             const char *path, size_t path_len, const char *tail) {
  size_t tail_len = tail != nullptr ? strlen(tail) : 0;
  if (base.len > SIZE_MAX - path_len - 1 || tail_len > SIZE_MAX - path_len - 1 - base.len) {
    return false;
  }
  size_t len = base.len + path_len + tail_len;
  char scratch[k_url_scratch_size];
  char *buf = scratch;
  if (len >= sizeof scratch) {
    buf = static_cast<char *>(malloc(len + 1));
    if (buf == nullptr) return false;
  }
  memcpy(buf, base.text, base.len);
  memcpy(buf + base.len, path, path_len);
  if (tail_len != 0) memcpy(buf + base.len + path_len, tail, tail_len);
  buf[len] = '\0';
  // The document keeps its own copy, so the buffer is free for the next URL.
  bool ok = yyjson_mut_obj_add_strncpy(doc, obj, key, buf, len);
  if (buf != scratch) free(buf);
  return ok;
}
#define ADD_URL(doc, obj, key, base, path, tail) \
  add_url((doc), (obj), (key), (base), (path), sizeof(path) - 1, (tail))

bool add_signed_in_members(yyjson_mut_doc *doc, yyjson_mut_val *obj, bool admin,
                           const char *user_id, const char *email, Base dist, Base music) {
  return yyjson_mut_obj_add_str(doc, obj, "mode", "signed_in") &&
         yyjson_mut_obj_add_bool(doc, obj, "isSignedIn", true) &&
         yyjson_mut_obj_add_bool(doc, obj, "isAdmin", admin) &&
         yyjson_mut_obj_add_bool(doc, obj, "canUseCloudLibrary", true) &&
         yyjson_mut_obj_add_bool(doc, obj, "canUseWishlist", true) &&
         yyjson_mut_obj_add_bool(doc, obj, "canImportLocalFiles", true) &&
         yyjson_mut_obj_add_bool(doc, obj, "canAddCustomFeeds", true) &&
         yyjson_mut_obj_add_strcpy(doc, obj, "userId", user_id) &&
         yyjson_mut_obj_add_strcpy(doc, obj, "email", email) &&
         ADD_URL(doc, obj, "userFeedBaseURL", dist, k_user_feed_path, user_id) &&
         ADD_URL(doc, obj, "playlistsApiURL", music, k_playlists_path, nullptr) &&
         ADD_URL(doc, obj, "worldApiURL", music, k_world_path, nullptr) &&
         ADD_URL(doc, obj, "searchApiURL", music, k_search_path, nullptr) &&
         ADD_URL(doc, obj, "wishlistApiURL", music, k_wishlist_path, nullptr);
}

bool add_guest_members(yyjson_mut_doc *doc, yyjson_mut_val *obj) {
  return yyjson_mut_obj_add_str(doc, obj, "mode", "guest") &&
         yyjson_mut_obj_add_bool(doc, obj, "isSignedIn", false) &&
         yyjson_mut_obj_add_bool(doc, obj, "isAdmin", false) &&
         yyjson_mut_obj_add_bool(doc, obj, "canUseCloudLibrary", false) &&
         yyjson_mut_obj_add_bool(doc, obj, "canUseWishlist", false) &&
         yyjson_mut_obj_add_bool(doc, obj, "canImportLocalFiles", true) &&
         yyjson_mut_obj_add_bool(doc, obj, "canAddCustomFeeds", true) &&
         yyjson_mut_obj_add_null(doc, obj, "userId") &&
         yyjson_mut_obj_add_null(doc, obj, "email") &&
         yyjson_mut_obj_add_null(doc, obj, "userFeedBaseURL") &&
         yyjson_mut_obj_add_null(doc, obj, "playlistsApiURL") &&
         yyjson_mut_obj_add_null(doc, obj, "worldApiURL") &&
         yyjson_mut_obj_add_null(doc, obj, "searchApiURL") &&
         yyjson_mut_obj_add_null(doc, obj, "wishlistApiURL");
}

// The claims of `token` at `now`, read back from the claims document. Null for a guest
// (no token, a refused token, claims that cannot be read) and when memory runs out, which
// `*no_memory` tells apart: a session must not pass for a guest's because memory ran out.
yyjson_doc *read_claims(const char *token, int64_t now, bool *no_memory) {
  *no_memory = false;
  if (token == nullptr || token[0] == '\0') return nullptr;
  char *text = parse_claims(token, now, no_memory);
  if (text == nullptr) return nullptr;
  yyjson_doc *claims = read_json(text, strlen(text), no_memory);
  free(text);
  if (claims != nullptr && !yyjson_is_obj(yyjson_doc_get_root(claims))) {
    yyjson_doc_free(claims);
    return nullptr;
  }
  return claims;
}

const char *string_member(yyjson_val *obj, const char *key, size_t key_len) {
  yyjson_val *v = find_member(obj, key, key_len);
  return yyjson_is_str(v) ? yyjson_get_str(v) : "";
}

}  // namespace

extern "C" VLAUTH_API char *VLAUTH_CALL vlauth_session_policy_json(const char *token,
                                                                   int64_t now,
                                                                   const char *dist_base_url,
                                                                   const char *music_base_url) {
  Base dist = select_base(dist_base_url, DEFAULT_DIST_BASE_URL);
  Base music = select_base(music_base_url, DEFAULT_MUSIC_BASE_URL);

  // Signed in when the subject is a valid GUID and the token has not expired; an absent
  // or non-boolean "isExpired" counts as not expired.
  bool no_memory;
  yyjson_doc *claims = read_claims(token, now, &no_memory);
  if (no_memory) {
    clear_error();
    return nullptr;
  }
  yyjson_val *root = yyjson_doc_get_root(claims);
  bool signed_in = claims != nullptr && yyjson_is_true(FIND_MEMBER(root, "hasValidGuid")) &&
                   !yyjson_is_true(FIND_MEMBER(root, "isExpired"));

  char *result = nullptr;
  yyjson_mut_val *obj;
  yyjson_mut_doc *doc = new_object_doc(&obj);
  if (doc != nullptr) {
    bool ok;
    if (signed_in) {
      // The user id and e-mail are copied into the document whole, straight from the
      // claims, which stay readable until the document is built.
      ok = add_signed_in_members(doc, obj, yyjson_is_true(FIND_MEMBER(root, "isAdmin")),
                                 string_member(root, "sub", 3), string_member(root, "email", 5),
                                 dist, music);
    } else {
      ok = add_guest_members(doc, obj);
    }
    if (ok) {
      result = write_and_free_doc(doc);
    } else {
      yyjson_mut_doc_free(doc);
    }
  }
  yyjson_doc_free(claims);
  clear_error();
  return result;
}
