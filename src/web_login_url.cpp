// The browser login page address, with an optional percent-encoded return address.
#include <stdlib.h>
#include <string.h>

#include "vlauth_internal.h"

namespace {

const char k_login_path[] = "/login";
const char k_redirect_path[] = "/login?redirect=";
const char hex[] = "0123456789ABCDEF";
// Room after the trimmed base without a redirect, and with one (before its encoding).
const size_t k_plain_extra = 16;
const size_t k_redirect_extra = 32;

// 1 for the bytes a redirect keeps as they are (ASCII letters and digits, "-", ".", "_"
// and "~"), 0 for those it percent-encodes.
struct KeepTable {
  unsigned char keep[256];
};
constexpr KeepTable make_keep_table() {
  KeepTable t{};
  for (int c = 0; c < 256; ++c) {
    bool alnum = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    t.keep[c] = alnum || c == '-' || c == '.' || c == '_' || c == '~';
  }
  return t;
}
constexpr KeepTable k_keep = make_keep_table();

}  // namespace

extern "C" VLAUTH_API char *VLAUTH_CALL vlauth_build_web_login_url(const char *auth_base_url,
                                                                   const char *redirect) {
  size_t base_len;
  if (!is_valid_http_base_len(auth_base_url, &base_len)) {
    set_error(MSG_INVALID_AUTH_BASE);
    return nullptr;
  }
  size_t trimmed = trimmed_length(auth_base_url, base_len);

  if (redirect == nullptr || redirect[0] == '\0') {
    if (trimmed > SIZE_MAX - k_plain_extra) return nullptr;
    char *url = static_cast<char *>(malloc(trimmed + k_plain_extra));
    if (url == nullptr) return nullptr;
    memcpy(url, auth_base_url, trimmed);
    memcpy(url + trimmed, k_login_path, sizeof k_login_path);
    return url;
  }

  // One allocation for the worst case, three characters for every redirect byte; a
  // size that cannot be represented is treated as memory that cannot be had.
  size_t r = strlen(redirect);
  if (trimmed > SIZE_MAX - k_redirect_extra || r > (SIZE_MAX - k_redirect_extra - trimmed) / 3) {
    return nullptr;
  }
  char *url = static_cast<char *>(malloc(3 * r + trimmed + k_redirect_extra));
  if (url == nullptr) return nullptr;
  memcpy(url, auth_base_url, trimmed);
  memcpy(url + trimmed, k_redirect_path, sizeof k_redirect_path - 1);
  char *o = url + trimmed + sizeof k_redirect_path - 1;
  for (const unsigned char *p = reinterpret_cast<const unsigned char *>(redirect); *p; ++p) {
    if (k_keep.keep[*p]) {
      *o++ = static_cast<char>(*p);
    } else {
      o[0] = '%';
      o[1] = hex[*p >> 4];
      o[2] = hex[*p & 15];
      o += 3;
    }
  }
  *o = '\0';
  return url;
}
