// The login request document: method, URL, content type and the credentials text of
// the e-mail and password sign-in, for the host to send itself.
#include <stdlib.h>
#include <string.h>

#include "vlauth_internal.h"

namespace {

const char k_login_path[] = "/api/login";
const size_t k_login_path_len = sizeof k_login_path - 1;
// Room after the trimmed base: the path and its NUL, with a little to spare.
const size_t k_login_url_extra = 16;
const size_t k_min_email_length = 3;

bool email_is_acceptable(const char *email) {
  if (email == nullptr || strchr(email, '@') == nullptr) return false;
  size_t len = strlen(email);
  return len >= k_min_email_length && is_valid_utf8(email, len);
}

// The compact text {"email":...,"password":...}; null when out of memory.
char *write_credentials(const char *email, const char *password) {
  yyjson_mut_val *obj;
  yyjson_mut_doc *doc = new_object_doc(&obj);
  if (doc == nullptr) return nullptr;
  if (!yyjson_mut_obj_add_strcpy(doc, obj, "email", email) ||
      !yyjson_mut_obj_add_strcpy(doc, obj, "password", password)) {
    yyjson_mut_doc_free(doc);
    return nullptr;
  }
  return write_and_free_doc(doc);
}

char *write_request(const char *url, size_t url_len, const char *credentials) {
  yyjson_mut_val *obj;
  yyjson_mut_doc *doc = new_object_doc(&obj);
  if (doc == nullptr) return nullptr;
  if (!yyjson_mut_obj_add_str(doc, obj, "method", "POST") ||
      !yyjson_mut_obj_add_strncpy(doc, obj, "url", url, url_len) ||
      !yyjson_mut_obj_add_str(doc, obj, "contentType", "application/json") ||
      !yyjson_mut_obj_add_strcpy(doc, obj, "body", credentials)) {
    yyjson_mut_doc_free(doc);
    return nullptr;
  }
  return write_and_free_doc(doc);
}

}  // namespace

extern "C" VLAUTH_API char *VLAUTH_CALL vlauth_build_login_request_json(
    const char *auth_base_url, const char *email, const char *password) {
  size_t base_len;
  if (!is_valid_http_base_len(auth_base_url, &base_len)) {
    set_error(MSG_INVALID_AUTH_BASE);
    return nullptr;
  }
  if (!email_is_acceptable(email)) {
    set_error(MSG_INVALID_EMAIL);
    return nullptr;
  }
  if (password == nullptr || password[0] == '\0') {
    set_error(MSG_EMPTY_PASSWORD);
    return nullptr;
  }
  if (!is_valid_utf8(password, strlen(password))) {
    set_error(MSG_INVALID_PASSWORD);
    return nullptr;
  }

  size_t trimmed = trimmed_length(auth_base_url, base_len);
  if (trimmed > SIZE_MAX - k_login_url_extra) return nullptr;
  char *url = static_cast<char *>(malloc(trimmed + k_login_url_extra));
  if (url == nullptr) return nullptr;
  memcpy(url, auth_base_url, trimmed);
  memcpy(url + trimmed, k_login_path, k_login_path_len + 1);

  // Both texts are valid UTF-8 by now, so the credentials text fails only for memory,
  // and then there is no request to describe.
  char *result = nullptr;
  char *credentials = write_credentials(email, password);
  if (credentials != nullptr) {
    result = write_request(url, trimmed + k_login_path_len, credentials);
    free(credentials);
  }
  free(url);
  clear_error();
  return result;
}
