// The login request document: method, URL, content type and the credentials text of
// the e-mail and password sign-in, for the host to send itself.
#include <stdlib.h>
#include <string.h>

#include "vlauth_internal.h"

namespace {

const char k_login_path[] = "/api/login";
const size_t k_login_path_len = sizeof k_login_path - 1;
const size_t k_min_email_length = 3;
// Working memory on the stack for arguments of a usual size; longer ones take the heap.
const size_t k_url_local_size = 256;       // the login URL
const size_t k_credentials_pool_size = 1024;  // the credentials document
const size_t k_text_pool_size = 1024;      // its written text
const size_t k_request_pool_size = 1024;   // the request document
// The root and two members of two values each; the root and four members.
const size_t k_credentials_values = 5;
const size_t k_request_values = 9;

bool email_is_acceptable(const char *email) {
  if (email == nullptr || strchr(email, '@') == nullptr) return false;
  size_t len = strlen(email);
  return len >= k_min_email_length && is_valid_utf8(email, len);
}

// The compact text {"email":...,"password":...}, written into `text_pool` when it fits
// there (`*pooled`) and to the heap otherwise; its length in `*len`. Null when out of
// memory. The document refers to the caller's strings, which outlive it.
char *write_credentials(const char *email, const char *password, void *text_pool,
                        size_t text_pool_size, size_t *len, bool *pooled) {
  char doc_pool[k_credentials_pool_size];
  for (void *pool = doc_pool;; pool = nullptr) {
    bool doc_pooled;
    yyjson_mut_val *obj;
    yyjson_mut_doc *doc = new_sized_object_doc(&obj, k_credentials_values, pool, sizeof doc_pool,
                                               &doc_pooled);
    char *text = nullptr;
    bool ok = doc != nullptr && yyjson_mut_obj_add_str(doc, obj, "email", email) &&
              yyjson_mut_obj_add_str(doc, obj, "password", password);
    if (ok) text = write_doc_to(doc, text_pool, text_pool_size, len, pooled);
    yyjson_mut_doc_free(doc);
    // A pool that ran short after all: the same again on the heap.
    if (ok || !doc_pooled) return text;
  }
}

// The request document, written to the heap; it refers to `url` and `credentials`.
char *write_request(const char *url, size_t url_len, const char *credentials,
                    size_t credentials_len) {
  char doc_pool[k_request_pool_size];
  for (void *pool = doc_pool;; pool = nullptr) {
    bool pooled;
    yyjson_mut_val *obj;
    yyjson_mut_doc *doc =
        new_sized_object_doc(&obj, k_request_values, pool, sizeof doc_pool, &pooled);
    bool ok = doc != nullptr && yyjson_mut_obj_add_str(doc, obj, "method", "POST") &&
              yyjson_mut_obj_add_strn(doc, obj, "url", url, url_len) &&
              yyjson_mut_obj_add_str(doc, obj, "contentType", "application/json") &&
              yyjson_mut_obj_add_strn(doc, obj, "body", credentials, credentials_len);
    if (ok) return write_and_free_doc(doc);
    yyjson_mut_doc_free(doc);
    if (!pooled) return nullptr;
  }
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

  // The login URL: the trimmed base and the path, on the stack when it is short.
  size_t trimmed = trimmed_length(auth_base_url, base_len);
  if (trimmed > SIZE_MAX - k_login_path_len - 1) return nullptr;
  size_t url_len = trimmed + k_login_path_len;
  char url_local[k_url_local_size];
  char *url = url_local;
  if (url_len >= sizeof url_local) {
    url = static_cast<char *>(malloc(url_len + 1));
    if (url == nullptr) return nullptr;
  }
  memcpy(url, auth_base_url, trimmed);
  memcpy(url + trimmed, k_login_path, k_login_path_len + 1);

  // Both texts are valid UTF-8 by now, so the credentials text fails only for memory,
  // and then there is no request to describe.
  char *result = nullptr;
  char text_pool[k_text_pool_size];
  size_t credentials_len = 0;
  bool pooled = false;
  char *credentials = write_credentials(email, password, text_pool, sizeof text_pool,
                                        &credentials_len, &pooled);
  if (credentials != nullptr) {
    result = write_request(url, url_len, credentials, credentials_len);
    if (!pooled) free(credentials);
  }
  if (url != url_local) free(url);
  clear_error();
  return result;
}
