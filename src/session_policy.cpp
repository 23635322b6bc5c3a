// The session policy: signed in or guest, the capability flags, who the user is and the
// endpoint URLs of the session.
#include <stdlib.h>
#include <string.h>

#include "vlauth_internal.h"

namespace {

// Working memory on the stack for the claims read back from a token of a usual size, the
// five endpoint URLs and the policy document; anything larger takes the heap.
const size_t k_read_pool_size = 4096;
const size_t k_url_buffer_size = 512;
const size_t k_doc_pool_size = 1536;

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

// The five endpoint URLs of a signed-in session, printed one after another into one
// buffer that lives until the document is written: the document refers to them.
struct Urls {
  const char *text[5];
  size_t len[5];
};

// a + b, or SIZE_MAX when that cannot be represented.
size_t add_size(size_t a, size_t b) { return a > SIZE_MAX - b ? SIZE_MAX : a + b; }

// The bytes the five URLs take together; SIZE_MAX when that cannot be represented.
size_t urls_size(Base dist, Base music, size_t user_id_len) {
  size_t paths = (sizeof k_user_feed_path - 1) + (sizeof k_playlists_path - 1) +
                 (sizeof k_world_path - 1) + (sizeof k_search_path - 1) +
                 (sizeof k_wishlist_path - 1);
  size_t n = add_size(paths, user_id_len);
  n = add_size(n, dist.len);
  for (int i = 0; i < 4; ++i) n = add_size(n, music.len);
  return n;
}

// Appends `base` + `path` (+ `tail`) at `*at` and notes URL `i`.
void print_url(Urls *urls, size_t i, char **at, Base base, const char *path, size_t path_len,
               const char *tail, size_t tail_len) {
  char *start = *at;
  memcpy(start, base.text, base.len);
  memcpy(start + base.len, path, path_len);
  if (tail_len != 0) memcpy(start + base.len + path_len, tail, tail_len);
  urls->text[i] = start;
  urls->len[i] = base.len + path_len + tail_len;
  *at = start + urls->len[i];
}
#define PRINT_URL(urls, i, at, base, path, tail, tail_len) \
  print_url((urls), (i), (at), (base), (path), sizeof(path) - 1, (tail), (tail_len))

// Prints the five URLs into `out`, which has urls_size() bytes.
Urls print_urls(char *out, Base dist, Base music, const char *user_id, size_t user_id_len) {
  Urls urls;
  char *at = out;
  PRINT_URL(&urls, 0, &at, dist, k_user_feed_path, user_id, user_id_len);
  PRINT_URL(&urls, 1, &at, music, k_playlists_path, nullptr, 0);
  PRINT_URL(&urls, 2, &at, music, k_world_path, nullptr, 0);
  PRINT_URL(&urls, 3, &at, music, k_search_path, nullptr, 0);
  PRINT_URL(&urls, 4, &at, music, k_wishlist_path, nullptr, 0);
  return urls;
}

bool add_signed_in_members(yyjson_mut_doc *doc, yyjson_mut_val *obj, bool admin,
                           const char *user_id, const char *email, const Urls &urls) {
  return yyjson_mut_obj_add_str(doc, obj, "mode", "signed_in") &&
         yyjson_mut_obj_add_bool(doc, obj, "isSignedIn", true) &&
         yyjson_mut_obj_add_bool(doc, obj, "isAdmin", admin) &&
         yyjson_mut_obj_add_bool(doc, obj, "canUseCloudLibrary", true) &&
         yyjson_mut_obj_add_bool(doc, obj, "canUseWishlist", true) &&
         yyjson_mut_obj_add_bool(doc, obj, "canImportLocalFiles", true) &&
         yyjson_mut_obj_add_bool(doc, obj, "canAddCustomFeeds", true) &&
         yyjson_mut_obj_add_str(doc, obj, "userId", user_id) &&
         yyjson_mut_obj_add_str(doc, obj, "email", email) &&
         yyjson_mut_obj_add_strn(doc, obj, "userFeedBaseURL", urls.text[0], urls.len[0]) &&
         yyjson_mut_obj_add_strn(doc, obj, "playlistsApiURL", urls.text[1], urls.len[1]) &&
         yyjson_mut_obj_add_strn(doc, obj, "worldApiURL", urls.text[2], urls.len[2]) &&
         yyjson_mut_obj_add_strn(doc, obj, "searchApiURL", urls.text[3], urls.len[3]) &&
         yyjson_mut_obj_add_strn(doc, obj, "wishlistApiURL", urls.text[4], urls.len[4]);
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
// A small claims document is read into `pool`.
yyjson_doc *read_claims(const char *token, int64_t now, bool *no_memory, void *pool,
                        size_t pool_size) {
  *no_memory = false;
  if (token == nullptr || token[0] == '\0') return nullptr;
  char *text = parse_claims(token, now, no_memory);
  if (text == nullptr) return nullptr;
  yyjson_doc *claims = read_json(text, strlen(text), no_memory, pool, pool_size);
  free(text);
  if (claims != nullptr && !yyjson_is_obj(yyjson_doc_get_root(claims))) {
    yyjson_doc_free(claims);
    return nullptr;
  }
  return claims;
}

// The five members of the claims document that the policy reads.
struct ClaimsMembers {
  yyjson_val *has_valid_guid, *is_expired, *is_admin, *sub, *email;
};

// One walk over the members of `claims` (an object); the first occurrence of a key counts.
ClaimsMembers find_claims_members(yyjson_val *claims) {
  ClaimsMembers m = {nullptr, nullptr, nullptr, nullptr, nullptr};
  yyjson_obj_iter it = yyjson_obj_iter_with(claims);
  yyjson_val *key;
  while ((key = yyjson_obj_iter_next(&it)) != nullptr) {
    yyjson_val *val = yyjson_obj_iter_get_val(key);
    if (!m.has_valid_guid && KEY_IS(key, "hasValidGuid")) m.has_valid_guid = val;
    else if (!m.is_expired && KEY_IS(key, "isExpired")) m.is_expired = val;
    else if (!m.is_admin && KEY_IS(key, "isAdmin")) m.is_admin = val;
    else if (!m.sub && KEY_IS(key, "sub")) m.sub = val;
    else if (!m.email && KEY_IS(key, "email")) m.email = val;
  }
  return m;
}

const char *string_value(yyjson_val *v) { return yyjson_is_str(v) ? yyjson_get_str(v) : ""; }

// What the policy document says. The user id and e-mail come straight from the claims,
// which stay readable until the document is written: the document refers to them.
struct Session {
  bool signed_in;
  bool admin;
  const char *user_id;
  const char *email;
  Urls urls;
};

// The root and fourteen members of two values each; the document copies no string.
const size_t k_policy_values = 29;

// Builds the policy document, in `pool` when it fits there, and writes it. Null when any
// part of it cannot be stored or written: never a document with a member missing.
char *write_policy(const Session &s, void *pool, size_t pool_size) {
  bool pooled;
  yyjson_mut_val *obj;
  yyjson_mut_doc *doc = new_sized_object_doc(&obj, k_policy_values, pool, pool_size, &pooled);
  bool ok = doc != nullptr &&
            (s.signed_in ? add_signed_in_members(doc, obj, s.admin, s.user_id, s.email, s.urls)
                         : add_guest_members(doc, obj));
  if (ok) return write_and_free_doc(doc);
  yyjson_mut_doc_free(doc);
  // A pool that ran short after all: the same again on the heap.
  return pooled ? write_policy(s, nullptr, 0) : nullptr;
}

}  // namespace

extern "C" VLAUTH_API char *VLAUTH_CALL vlauth_session_policy_json(const char *token,
                                                                   int64_t now,
                                                                   const char *dist_base_url,
                                                                   const char *music_base_url) {
  Base dist = select_base(dist_base_url, DEFAULT_DIST_BASE_URL);
  Base music = select_base(music_base_url, DEFAULT_MUSIC_BASE_URL);

  // Signed in when the subject is a valid GUID and the token has not expired; an absent
  // or non-boolean "isExpired" counts as not expired. The claims of a token of a usual
  // size are read back on the stack.
  char read_pool[k_read_pool_size];
  bool no_memory;
  yyjson_doc *claims = read_claims(token, now, &no_memory, read_pool, sizeof read_pool);
  if (no_memory) {
    clear_error();
    return nullptr;
  }
  ClaimsMembers m = {nullptr, nullptr, nullptr, nullptr, nullptr};
  if (claims != nullptr) m = find_claims_members(yyjson_doc_get_root(claims));

  Session session = {false, false, "", "", Urls()};
  session.signed_in = claims != nullptr && yyjson_is_true(m.has_valid_guid) &&
                      !yyjson_is_true(m.is_expired);
  // The URLs of a usual size are printed on the stack; a URL is never cut.
  char url_local[k_url_buffer_size];
  char *url_buf = url_local;
  char *result = nullptr;
  if (session.signed_in) {
    session.admin = yyjson_is_true(m.is_admin);
    session.user_id = string_value(m.sub);
    session.email = string_value(m.email);
    size_t user_id_len = strlen(session.user_id);
    size_t size = urls_size(dist, music, user_id_len);
    if (size > sizeof url_local) {
      url_buf = size == SIZE_MAX ? nullptr : static_cast<char *>(malloc(size));
    }
    if (url_buf != nullptr) {
      session.urls = print_urls(url_buf, dist, music, session.user_id, user_id_len);
    }
  }
  if (url_buf != nullptr) {
    char doc_pool[k_doc_pool_size];
    result = write_policy(session, doc_pool, sizeof doc_pool);
    if (url_buf != url_local) free(url_buf);
  }
  yyjson_doc_free(claims);
  clear_error();
  return result;
}
