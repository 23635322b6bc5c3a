/*
 * vlauth.h - the sign-in session of the streaming client, without the network.
 *
 * The host hands the library a session token (a JSON Web Token), the current time and
 * the base URLs of the service; the library hands back text: the claims document, the
 * session policy, the login request, the browser login URL, a token found in cookie or
 * URL text, the cookie that carries a token, a GUID check, versions, the calling
 * thread's last error and a self-test.
 *
 * What it never does: open a connection, read a clock, a file, an environment variable
 * or a setting, start a thread, take a lock, or verify a token's signature. The claims
 * are taken as the token states them, so every document here serves a user interface,
 * never an authorization decision.
 *
 * Conventions that hold for every function below:
 *
 *   - Strings are NUL-terminated byte strings, UTF-8 where they carry text. Every string
 *     argument may be null (each function says what null means); it is only read, and
 *     never kept after the call returns.
 *   - A returned string (every `char *` result) is allocated by the library for this
 *     call alone. The caller owns it and releases it exactly once with vlauth_free(),
 *     never with its own free(): the library and the host may be linked against
 *     different C runtimes (or different heaps), and vlauth_free() always returns the
 *     memory to the heap that it came from. A returned string may be released on any
 *     thread.
 *   - Failure is shown by the result: a null string, or the integer each function
 *     documents. Four functions explain a refusal with a fixed lower-case English
 *     message in the calling thread's error text, read with vlauth_last_error(). Each
 *     function says whether it writes, empties or leaves that text.
 *   - Time is signed 64-bit seconds since the Unix epoch, supplied by the caller.
 *   - Every function is reentrant and thread-safe: there is no global state other than
 *     one error text per thread, and a thread only ever sees its own messages.
 *   - Stack: small working buffers live on the calling thread's stack, about 8 KB for the
 *     claims decoder and 16 KB at most for the session policy (which calls it); larger
 *     inputs take the heap. Threads with very small stacks should allow for this.
 *   - Out of memory: the function returns null (or, for vlauth_selftest(), the number of
 *     the step that could not complete) and never a partial document.
 *
 * The library's API version is VLAUTH_VERSION_STRING ("1.0.0"), returned by
 * vlauth_version(). Its ABI version, VLAUTH_ABI_VERSION, is the shared object's SONAME
 * number and changes only when a binary built against an older header could break;
 * vlauth_abi_version() lets a host check at run time that it loaded the ABI it was
 * built for.
 */
#ifndef VLAUTH_H
#define VLAUTH_H

#include <stdint.h>

#define VLAUTH_VERSION_MAJOR 1
#define VLAUTH_VERSION_MINOR 0
#define VLAUTH_VERSION_PATCH 0
#define VLAUTH_VERSION_STRING "1.0.0"
#define VLAUTH_ABI_VERSION 1

/* VLAUTH_API marks the exports; VLAUTH_CALL is the platform's standard C calling
 * convention. A Windows build of the library defines VLAUTH_BUILDING_LIBRARY; a host
 * that links a static build defines VLAUTH_STATIC. */
#if defined(_WIN32) || defined(__CYGWIN__)
#  if defined(VLAUTH_STATIC)
#    define VLAUTH_API
#  elif defined(VLAUTH_BUILDING_LIBRARY)
#    define VLAUTH_API __declspec(dllexport)
#  else
#    define VLAUTH_API __declspec(dllimport)
#  endif
#  define VLAUTH_CALL __cdecl
#else
#  if defined(__GNUC__) && defined(VLAUTH_BUILDING_LIBRARY)
#    define VLAUTH_API __attribute__((visibility("default")))
#  else
#    define VLAUTH_API
#  endif
#  define VLAUTH_CALL
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ===================================================================================
 * Library frame: versions, the error text, release of returned strings
 * =================================================================================== */

/* Returns "1.0.0", always the same static, read-only string: never null, never to be
 * written to or released. Leaves the error text as it was. */
VLAUTH_API const char *VLAUTH_CALL vlauth_version(void);

/* Returns the ABI version, 1. Leaves the error text as it was. */
VLAUTH_API int32_t VLAUTH_CALL vlauth_abi_version(void);

/* Returns the calling thread's error text: the message of the last refusal on this
 * thread, or "" (a new thread starts with ""). Never null; read-only; never released by
 * the caller. The address stays valid for the life of the thread, but the text changes
 * with later calls on the same thread, so copy a message you want to keep. Another
 * thread's calls never change it. Changes nothing itself.
 *
 * The complete set of messages:
 *   "malformed jwt", "invalid jwt base64url payload", "jwt payload is not json object"
 *                                   vlauth_parse_jwt_claims_json
 *   "invalid jwt"                   vlauth_build_cookie_value
 *   "invalid auth_base_url", "invalid email", "invalid password", "empty password"
 *                                   vlauth_build_login_request_json
 *   "invalid auth_base_url"         vlauth_build_web_login_url */
VLAUTH_API const char *VLAUTH_CALL vlauth_last_error(void);

/* Releases a string returned by this library. Null does nothing. Leaves the error text
 * as it was. */
VLAUTH_API void VLAUTH_CALL vlauth_free(void *ptr);

/* ===================================================================================
 * Validation
 * =================================================================================== */

/* Returns 0 when `guid` is exactly 36 bytes of hex digits (either case) grouped 8-4-4-4-12
 * by "-" at positions 8, 13, 18 and 23, and -1 otherwise (null, braces, other lengths,
 * other bytes). No version or variant digit is examined; the all-zero GUID passes.
 * Allocates nothing; leaves the error text as it was. */
VLAUTH_API int32_t VLAUTH_CALL vlauth_is_valid_guid(const char *guid);

/* ===================================================================================
 * Token handling
 * =================================================================================== */

/* Decodes the payload (the middle segment) of the session token `token` and returns the
 * claims document, a compact JSON object of exactly nine members in this order:
 *   "sub", "email", "iss"   strings from the payload ("" when absent or not a string);
 *   "exp", "iat"            integers: a JSON number truncated toward zero, saturated to
 *                           the signed 64-bit range (0 when absent or not a number);
 *   "isExpired"             true when now > 0, exp > 0 and now >= exp;
 *   "isAdmin"               true when "permissions" has a direct string element "admin";
 *   "hasValidGuid"          true when "sub" passes vlauth_is_valid_guid();
 *   "permissions"           the string elements of the payload's "permissions" array.
 * The header segment is not decoded and the signature is never verified.
 *
 * Returns null on refusal, with one of these messages (tested in this order):
 *   "malformed jwt"                   token null, empty, or not three non-empty segments of
 *                                     [A-Za-z0-9_=-] joined by two dots;
 *   "invalid jwt base64url payload"   payload only "=", or a byte outside base64url;
 *   "jwt payload is not json object"  the decoded bytes are not one JSON object.
 * (A payload that is not valid UTF-8 is not a JSON text, so it gets the third message.)
 * Empties the error text on every other return: on success, and when memory runs out
 * after the payload was read (the result is then null with an empty error text). When the
 * decode buffer itself cannot be allocated, the message is the second one.
 * Release the result with vlauth_free(). */
VLAUTH_API char *VLAUTH_CALL vlauth_parse_jwt_claims_json(const char *token, int64_t now);

/* Finds a session token in cookie, query-string or URL text: first the value after the
 * first "ov_token=" (anywhere), then the value after the first "token=" (accepted only at
 * the start of `text` or right after a space, "&", ";" or "?"; after any other byte the
 * call returns null at once). A value runs up to the end, ";", "&", "#" or whitespace, is
 * taken verbatim (no percent-decoding, no unquoting) and must have the token shape
 * described at vlauth_parse_jwt_claims_json(). Only the first occurrence of each pattern
 * is examined.
 * Returns the token, or null when none is acceptable, when `text` is null or empty, or
 * when out of memory. Never writes or empties the error text. Release with vlauth_free(). */
VLAUTH_API char *VLAUTH_CALL vlauth_extract_token(const char *text);

/* Returns the cookie assignment "ov_token=" followed by `token`, with no attributes.
 * Null with the message "invalid jwt" when `token` does not have the token shape (null
 * and empty included); null with the error text left as it was when out of memory.
 * Empties the error text on success. Release with vlauth_free(). */
VLAUTH_API char *VLAUTH_CALL vlauth_build_cookie_value(const char *token);

/* ===================================================================================
 * Sign-in requests
 * =================================================================================== */

/* Describes the e-mail and password login request as a compact JSON object:
 *   {"method":"POST","url":"<base>/api/login","contentType":"application/json",
 *    "body":"<credentials>"}
 * where <base> is `auth_base_url` without its trailing slashes and <credentials> is the
 * compact JSON text {"email":...,"password":...} carried as a string.
 * Arguments are tested in this order, the first failure deciding the message:
 *   "invalid auth_base_url"  not http:// or https://, longer than 8 bytes, without
 *                            control bytes, spaces or DEL (null included);
 *   "invalid email"          null, no "@", shorter than 3 bytes, or not valid UTF-8;
 *   "empty password"         null or empty;
 *   "invalid password"       not valid UTF-8.
 * Once the tests pass, empties the error text on every return; out of memory then gives
 * null with an empty error text (or, when even the login URL cannot be allocated, null
 * with the error text left as it was). A base URL that is not valid UTF-8 also gives null
 * with an empty error text. Release the result with vlauth_free(). */
VLAUTH_API char *VLAUTH_CALL vlauth_build_login_request_json(const char *auth_base_url,
                                                             const char *email,
                                                             const char *password);

/* Returns the browser login page address: `auth_base_url` without its trailing slashes,
 * then "/login"; with a non-empty `redirect`, then "?redirect=" and the redirect
 * percent-encoded byte by byte (A-Z a-z 0-9 - . _ ~ unchanged, every other byte as %XX
 * with upper-case hex; a space is %20).
 * Null with the message "invalid auth_base_url" when the base fails the rule given at
 * vlauth_build_login_request_json(); null with the error text left as it was when out of
 * memory. Leaves the error text as it was on success. Release with vlauth_free(). */
VLAUTH_API char *VLAUTH_CALL vlauth_build_web_login_url(const char *auth_base_url,
                                                        const char *redirect);

/* ===================================================================================
 * Session policy
 * =================================================================================== */

/* Returns the session policy document, a compact JSON object of fourteen members:
 *   "mode" ("signed_in" or "guest"), "isSignedIn", "isAdmin", "canUseCloudLibrary",
 *   "canUseWishlist", "canImportLocalFiles", "canAddCustomFeeds", "userId", "email",
 *   "userFeedBaseURL", "playlistsApiURL", "worldApiURL", "searchApiURL", "wishlistApiURL".
 * Signed in when `token` decodes (as vlauth_parse_jwt_claims_json() at `now`) to a "sub"
 * that is a valid GUID and has not expired; then the user id, e-mail and the endpoint URLs
 * under the trimmed `dist_base_url` ("/music/<user id>") and `music_base_url`
 * ("/playlists/api?format=json", "/world/api", "/search/api", "/wishlist/api/mine") are
 * strings. Otherwise (no token, any refused or expired token) the guest document, whose
 * last seven members are null; a token is never refused.
 * A null or empty base URL selects the built-in default; any other base is used verbatim.
 * Null only when memory runs out (also inside the decoding of the token: a session never
 * passes for a guest's for want of memory) or when a base URL is not valid UTF-8.
 * Empties the error text on every return. Release with vlauth_free(). */
VLAUTH_API char *VLAUTH_CALL vlauth_session_policy_json(const char *token, int64_t now,
                                                        const char *dist_base_url,
                                                        const char *music_base_url);

/* ===================================================================================
 * Self-test
 * =================================================================================== */

/* Checks the GUID rule, the claims decoder and the session policy against built-in
 * inputs at a fixed time. Returns 0 when all pass, else the number of the first failing
 * step: 1 and 2 the GUID rule, 3 the claims decoder, 4 the guest policy, 5 the signed-in
 * policy (out of memory fails the step it happens in). Writes no message of its own;
 * afterwards the error text is what the last function it called left (empty after a full
 * pass). The same answer at any time, on any thread. */
VLAUTH_API int32_t VLAUTH_CALL vlauth_selftest(void);

#ifdef __cplusplus
}
#endif

#endif /* VLAUTH_H */
