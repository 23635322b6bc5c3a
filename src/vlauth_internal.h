// What the library's source files share: the per-thread error text, the messages, the
// validation rules, byte classes and the JSON helpers. Nothing here is exported.
#ifndef VLAUTH_INTERNAL_H
#define VLAUTH_INTERNAL_H

#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include <yyjson.h>

#include "vlauth.h"

// ---- Messages: fixed texts, never with argument text in them ----------------------------
#define MSG_MALFORMED_JWT "malformed jwt"
#define MSG_BAD_PAYLOAD "invalid jwt base64url payload"
#define MSG_PAYLOAD_NOT_OBJECT "jwt payload is not json object"
#define MSG_INVALID_JWT "invalid jwt"
#define MSG_INVALID_AUTH_BASE "invalid auth_base_url"
#define MSG_INVALID_EMAIL "invalid email"
#define MSG_EMPTY_PASSWORD "empty password"
#define MSG_INVALID_PASSWORD "invalid password"

// ---- Error text (error_text.cpp) --------------------------------------------------------
enum { ERROR_TEXT_SIZE = 256 };

// Stores `message` and its NUL at the start of the calling thread's error text.
void set_error(const char *message);
// Empties the calling thread's error text: a NUL in its first byte.
void clear_error(void);

// ---- Validation rules (validation.cpp) ---------------------------------------------------
// 0 when `token` is three non-empty segments of token characters joined by two dots,
// -1 otherwise. When `len` is not null it receives the token's length on success.
int32_t validate_jwt_shape(const char *token);
int32_t validate_jwt_shape_len(const char *token, size_t *len);
// The same rule for the `len` bytes at `token`, which need no NUL after them.
int32_t validate_jwt_shape_span(const char *token, size_t len);
// 1 when `url` follows the base-URL rule, 0 otherwise. `len` receives its length on success.
int32_t is_valid_http_base(const char *url);
int32_t is_valid_http_base_len(const char *url, size_t *len);
// The length of `s[0..len)` without its trailing "/" characters.
size_t trimmed_length(const char *s, size_t len);
// True when the `len` bytes at `s` are well-formed UTF-8 (RFC 3629: no overlong forms,
// no surrogates, nothing above U+10FFFF).
bool is_valid_utf8(const char *s, size_t len);
// True when `guid[0..len)` follows the GUID rule.
bool guid_rule(const char *guid, size_t len);

// ---- JSON helpers (json_helpers.cpp) ----------------------------------------------------
// Documents of one call may be kept in a fixed-size buffer of the caller's, `pool` of
// `pool_size` bytes (null and 0 for none), which must outlive them: a document that is
// known to fit goes there, any other to the heap. The buffer's size decides the speed,
// never the result.
//
// Reads `len` bytes of JSON text with the default, strict reading; null on failure.
// When `no_memory` is not null it tells whether the failure was for want of memory.
yyjson_doc *read_json(const char *text, size_t len, bool *no_memory, void *pool = nullptr,
                      size_t pool_size = 0);
// The same reading in place: `text` is followed by YYJSON_PADDING_SIZE zero bytes, the
// reader may write to it, and it must outlive the document, whose strings it holds.
yyjson_doc *read_json_in_place(char *text, size_t len, bool *no_memory, void *pool,
                               size_t pool_size);
// A new mutable document whose root is an empty object; null when either cannot be made.
// It has room for `values` values (the root included), made at once when first needed;
// the documents of the library copy no strings, they refer to strings that outlive them.
// `*pooled` tells whether the document lives in `pool`: if it runs short there after all,
// an addition fails, and the caller builds the document again on the heap.
yyjson_mut_doc *new_sized_object_doc(yyjson_mut_val **root, size_t values, void *pool,
                                     size_t pool_size, bool *pooled);
// Writes `doc` as compact text into `pool` when it fits there (`*pooled` true: the text
// lives as long as the buffer and is not released), or else to the heap (released with
// free()); `*len` receives its length. Null when no text results. `doc` is kept.
char *write_doc_to(const yyjson_mut_doc *doc, void *pool, size_t pool_size, size_t *len,
                   bool *pooled);
// Writes `doc` as compact text and releases it (a null `doc` is allowed); null when no
// text results. The text is the caller's, released with free().
char *write_and_free_doc(yyjson_mut_doc *doc);
// True when the object key `key` is exactly the literal `want` (compared after
// unescaping, byte for byte, whole).
inline bool key_is(yyjson_val *key, const char *want, size_t want_len) {
  return yyjson_get_len(key) == want_len && memcmp(yyjson_get_str(key), want, want_len) == 0;
}
#define KEY_IS(key, literal) key_is((key), (literal), sizeof(literal) - 1)

// ---- Built-in settings ------------------------------------------------------------------
// The service hosts the session policy uses when its caller names none.
#define DEFAULT_DIST_BASE_URL "https://dist.example.com"
#define DEFAULT_MUSIC_BASE_URL "https://music.example.com"

// Claims decoder (claims.cpp), the export's body. When it returns null, `*no_memory`
// (if given) tells a refusal of the token (false) from memory running out (true), which
// the export alone cannot show: its decode buffer failure carries a refusal's message.
char *parse_claims(const char *token, int64_t now, bool *no_memory);

#endif
