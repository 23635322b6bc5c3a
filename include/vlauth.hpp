/*
 * vlauth.hpp - the sign-in session library for C++17 hosts, header only.
 *
 * A thin layer over the C functions of vlauth.h, which remains the reference for what
 * each of them does. What this header adds:
 *
 *   - vlauth::owned_string owns a string the library returned and releases it with
 *     vlauth_free() when it goes out of scope; it is movable, not copyable.
 *   - vlauth::result is what every text-returning function gives back: the text on
 *     success, otherwise the reason, copied at once so that later calls cannot change it.
 *   - vlauth::arg lets every string parameter take a C string, a std::string or nullptr
 *     (what null means is said at each function). A std::string_view is not accepted,
 *     because the library needs NUL-terminated text.
 *
 * Nothing here throws or allocates: every function is noexcept and the results hold the
 * library's own buffers. Threads behave as in C: any function on any thread, and a
 * result may be moved to and destroyed on another thread.
 *
 *     #include <vlauth.hpp>
 *
 *     vlauth::result claims = vlauth::parse_jwt_claims_json(token, std::time(nullptr));
 *     if (claims)
 *       show(claims.text());                   // std::string_view of the JSON document
 *     else
 *       report(claims.error());                // "malformed jwt", ...
 */
#ifndef VLAUTH_HPP
#define VLAUTH_HPP

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "vlauth.h"

namespace vlauth {

/* A string argument for the library: NUL-terminated text, or null. Built implicitly from
 * a `const char *` (null included), a `const std::string &` or `nullptr`. It only borrows
 * the text, so it is meant as a parameter type, not to be stored. */
class arg {
 public:
  /* Null: each function says what a null argument means. */
  arg(std::nullptr_t) noexcept {}
  /* A C string, which may be null. */
  arg(const char *text) noexcept : text_(text) {}
  /* A std::string; its text must outlive the call (a temporary does). */
  arg(const std::string &text) noexcept : text_(text.c_str()) {}

  /* The C string handed to the library, possibly null. */
  const char *get() const noexcept { return text_; }

 private:
  const char *text_ = nullptr;
};

/* Owns one string returned by the library and releases it with vlauth_free(), never with
 * free() or delete: the library may live on another heap than its host. */
class owned_string {
 public:
  /* Owns nothing. */
  owned_string() noexcept = default;
  /* Takes ownership of `text`, a string returned by a vlauth_ function, or null. */
  explicit owned_string(char *text) noexcept : text_(text) {}
  owned_string(owned_string &&other) noexcept : text_(other.release()) {}
  owned_string &operator=(owned_string &&other) noexcept {
    reset(other.release());
    return *this;
  }
  owned_string(const owned_string &) = delete;
  owned_string &operator=(const owned_string &) = delete;
  /* Releases the string it owns, if any. */
  ~owned_string() { vlauth_free(text_); }

  /* Releases the string it owns and takes ownership of `text` (null: owns nothing). */
  void reset(char *text = nullptr) noexcept {
    char *old = text_;
    text_ = text;
    vlauth_free(old);
  }
  /* Gives up ownership: the caller must release the returned pointer with vlauth_free(). */
  char *release() noexcept { return std::exchange(text_, nullptr); }

  /* The owned text, or null when it owns nothing. */
  const char *get() const noexcept { return text_; }
  /* The owned text, or "" when it owns nothing: never null. */
  const char *c_str() const noexcept { return text_ != nullptr ? text_ : ""; }
  /* The owned text as a view, empty when it owns nothing. Valid while the string is owned. */
  std::string_view view() const noexcept {
    return text_ != nullptr ? std::string_view(text_) : std::string_view();
  }
  /* True when it owns a string. */
  explicit operator bool() const noexcept { return text_ != nullptr; }

 private:
  char *text_ = nullptr;
};

/* The outcome of a call that returns text: the text it owns on success, or a message that
 * says why there is none. Movable, not copyable. */
class result {
 public:
  /* Success when `text` owns a string; otherwise failure explained by `error` (copied, cut
   * to 63 bytes; null reads as ""). */
  result(owned_string text, const char *error) noexcept : text_(std::move(text)) {
    if (!text_ && error != nullptr) {
      std::size_t i = 0;
      for (; i + 1 < sizeof error_ && error[i] != '\0'; ++i) error_[i] = error[i];
      error_[i] = '\0';
    }
  }

  /* True on success. */
  bool ok() const noexcept { return static_cast<bool>(text_); }
  /* The same as ok(). */
  explicit operator bool() const noexcept { return ok(); }
  /* The text (a JSON document, a token, a cookie, a URL); empty on failure. Valid as long
   * as the result owns it. */
  std::string_view text() const noexcept { return text_.view(); }
  /* The text as a C string; "" on failure. Never null. */
  const char *c_str() const noexcept { return text_.c_str(); }
  /* Why the call failed: one of the library's messages listed at vlauth_last_error(), or
   * one of this header's own (see each function); "" on success. Never null. */
  const char *error() const noexcept { return error_; }
  /* Hands the owned text over, leaving the result without text (its error stays ""). */
  owned_string take() noexcept { return std::move(text_); }

 private:
  owned_string text_;
  char error_[64] = {};
};

namespace detail {

// Messages of this header for the nulls that the library leaves unexplained.
inline constexpr const char k_no_token_found[] = "no token found";
inline constexpr const char k_no_memory_or_utf8[] = "out of memory or text that is not valid UTF-8";
inline constexpr const char k_no_memory[] = "out of memory";

// `text` with the reason for a null: the calling thread's error text when the function
// explains its refusals there and the text is not empty, otherwise `otherwise`.
inline result finish(char *text, bool library_explains, const char *otherwise) noexcept {
  const char *why = otherwise;
  if (text == nullptr && library_explains && vlauth_last_error()[0] != '\0') {
    why = vlauth_last_error();
  }
  return result(owned_string(text), why);
}

}  // namespace detail

/* ---- Library frame --------------------------------------------------------------------- */

/* The library's version, "1.0.0": a static string, never null, not to be released. */
inline const char *version() noexcept { return vlauth_version(); }

/* The ABI version of the loaded library (1 for this header). */
inline std::int32_t abi_version() noexcept { return vlauth_abi_version(); }

/* True when the loaded library has the ABI this header was written for. */
inline bool abi_compatible() noexcept { return vlauth_abi_version() == VLAUTH_ABI_VERSION; }

/* The calling thread's last message from the library, "" when none; never null. The text
 * changes with later calls on the thread. The result types already carry their message,
 * so this is rarely needed. */
inline const char *last_error() noexcept { return vlauth_last_error(); }

/* ---- Validation ------------------------------------------------------------------------ */

/* True when `guid` is 36 hex digits grouped 8-4-4-4-12 by "-"; false for null. */
inline bool is_valid_guid(arg guid) noexcept { return vlauth_is_valid_guid(guid.get()) == 0; }

/* ---- Token handling -------------------------------------------------------------------- */

/* The claims document of `token` at time `now` (seconds since the epoch), see
 * vlauth_parse_jwt_claims_json(). Errors: "malformed jwt", "invalid jwt base64url
 * payload", "jwt payload is not json object", or "out of memory or text that is not valid
 * UTF-8". The signature is never verified. */
inline result parse_jwt_claims_json(arg token, std::int64_t now) noexcept {
  return detail::finish(vlauth_parse_jwt_claims_json(token.get(), now), true,
                        detail::k_no_memory_or_utf8);
}

/* The session token found in cookie, query-string or URL `text`, see
 * vlauth_extract_token(). Error: "no token found" (also when memory runs out). */
inline result extract_token(arg text) noexcept {
  return detail::finish(vlauth_extract_token(text.get()), false, detail::k_no_token_found);
}

/* The cookie assignment "ov_token=<token>", see vlauth_build_cookie_value(). Errors:
 * "invalid jwt", or "out of memory" (after which the message of an earlier call on this
 * thread may stand instead, as the library leaves its error text alone then). */
inline result build_cookie_value(arg token) noexcept {
  return detail::finish(vlauth_build_cookie_value(token.get()), true, detail::k_no_memory);
}

/* ---- Sign-in requests ------------------------------------------------------------------ */

/* The login request document for an e-mail and password under `auth_base_url`, see
 * vlauth_build_login_request_json(). Errors: "invalid auth_base_url", "invalid email",
 * "empty password", "invalid password", or "out of memory or text that is not valid
 * UTF-8". The document carries the password: treat it as a secret. */
inline result build_login_request_json(arg auth_base_url, arg email, arg password) noexcept {
  return detail::finish(
      vlauth_build_login_request_json(auth_base_url.get(), email.get(), password.get()), true,
      detail::k_no_memory_or_utf8);
}

/* The browser login address under `auth_base_url`, with `redirect` percent-encoded as its
 * return address when it is neither null nor empty, see vlauth_build_web_login_url().
 * Errors: "invalid auth_base_url", or "out of memory" (with the same caveat as
 * build_cookie_value()). */
inline result build_web_login_url(arg auth_base_url, arg redirect = nullptr) noexcept {
  return detail::finish(vlauth_build_web_login_url(auth_base_url.get(), redirect.get()), true,
                        detail::k_no_memory);
}

/* ---- Session policy -------------------------------------------------------------------- */

/* The session policy document of `token` (null: a guest) at time `now`, with the
 * distribution and music base URLs (null or "": the built-in defaults), see
 * vlauth_session_policy_json(). A token is never refused: a bad or expired one gives the
 * guest document. Error: "out of memory or text that is not valid UTF-8". */
inline result session_policy_json(arg token, std::int64_t now, arg dist_base_url = nullptr,
                                  arg music_base_url = nullptr) noexcept {
  return detail::finish(
      vlauth_session_policy_json(token.get(), now, dist_base_url.get(), music_base_url.get()),
      false, detail::k_no_memory_or_utf8);
}

/* ---- Self-test ------------------------------------------------------------------------- */

/* Runs the library's self-test: 0 when it passes, else the number (1 to 5) of the first
 * step that failed, see vlauth_selftest(). */
inline std::int32_t selftest() noexcept { return vlauth_selftest(); }

}  // namespace vlauth

#endif /* VLAUTH_HPP */
