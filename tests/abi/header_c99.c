/* The public header as a C99 (and, through header_cxx17.cpp, a C++17) host sees it: every
 * export with the exact type it must have. Compiling with every warning fatal is the test. */
#include "vlauth.h"
#include "vlauth.h" /* a second inclusion is harmless */

struct vlauth_exports {
  const char *(*version)(void);
  int32_t (*abi_version)(void);
  const char *(*last_error)(void);
  void (*free_string)(void *);
  int32_t (*is_valid_guid)(const char *);
  char *(*parse_jwt_claims_json)(const char *, int64_t);
  char *(*extract_token)(const char *);
  char *(*build_cookie_value)(const char *);
  char *(*build_login_request_json)(const char *, const char *, const char *);
  char *(*build_web_login_url)(const char *, const char *);
  char *(*session_policy_json)(const char *, int64_t, const char *, const char *);
  int32_t (*selftest)(void);
};

extern const struct vlauth_exports vlauth_header_c99;
const struct vlauth_exports vlauth_header_c99 = {
    vlauth_version,           vlauth_abi_version,        vlauth_last_error,
    vlauth_free,              vlauth_is_valid_guid,      vlauth_parse_jwt_claims_json,
    vlauth_extract_token,     vlauth_build_cookie_value, vlauth_build_login_request_json,
    vlauth_build_web_login_url, vlauth_session_policy_json, vlauth_selftest};

#if VLAUTH_ABI_VERSION != 1
#error "the header's ABI version is not 1"
#endif
