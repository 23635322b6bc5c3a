// Small helpers shared by the behaviour tests: owning the library's returned strings,
// making tokens from payload text, and reading the calling thread's error text.
#ifndef VLAUTH_TESTS_TEST_SUPPORT_H
#define VLAUTH_TESTS_TEST_SUPPORT_H

#include <optional>
#include <string>
#include <string_view>

#include "vlauth.h"

namespace vltest {

// A returned string's text, or nullopt for a null result; the string is released.
inline std::optional<std::string> take(char *returned) {
  if (returned == nullptr) return std::nullopt;
  std::string text(returned);
  vlauth_free(returned);
  return text;
}

inline std::string last_error() { return vlauth_last_error(); }

// Leaves the message "invalid jwt" in the calling thread's error text.
inline void leave_message() { vlauth_free(vlauth_build_cookie_value(nullptr)); }

// base64url without padding (RFC 4648, section 5).
inline std::string base64url(std::string_view bytes) {
  static const char alphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
  std::string out;
  size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    unsigned v = static_cast<unsigned>(static_cast<unsigned char>(bytes[i])) << 16 |
                 static_cast<unsigned>(static_cast<unsigned char>(bytes[i + 1])) << 8 |
                 static_cast<unsigned>(static_cast<unsigned char>(bytes[i + 2]));
    out += alphabet[v >> 18 & 63];
    out += alphabet[v >> 12 & 63];
    out += alphabet[v >> 6 & 63];
    out += alphabet[v & 63];
  }
  size_t rest = bytes.size() - i;
  if (rest != 0) {
    unsigned v = static_cast<unsigned>(static_cast<unsigned char>(bytes[i])) << 16;
    if (rest == 2) v |= static_cast<unsigned>(static_cast<unsigned char>(bytes[i + 1])) << 8;
    out += alphabet[v >> 18 & 63];
    out += alphabet[v >> 12 & 63];
    if (rest == 2) out += alphabet[v >> 6 & 63];
  }
  return out;
}

// Header {"alg":"none"} and a placeholder signature: the library looks at neither.
inline const std::string kHeader = "eyJhbGciOiJub25lIn0";
inline const std::string kSignature = "c2ln";

// A token whose payload segment is exactly `payload_segment`.
inline std::string token_with_segment(std::string_view payload_segment) {
  return kHeader + "." + std::string(payload_segment) + "." + kSignature;
}

// A token whose payload is the base64url form of `payload_json`.
inline std::string token_for(std::string_view payload_json) {
  return token_with_segment(base64url(payload_json));
}

inline const std::string kGuid = "11111111-2222-3333-4444-555555555555";

// The self-test's built-in sample token: "sub" kGuid, "email" kSampleEmail, "iss"
// "https://auth.example.com", "exp" kSampleExp, "iat" 1700000000, "permissions" ["admin"].
inline const std::string kSampleToken =
    "eyJhbGciOiJub25lIiwidHlwIjoiSldUIn0."
    "eyJzdWIiOiIxMTExMTExMS0yMjIyLTMzMzMtNDQ0NC01NTU1NTU1NTU1NTUiLCJlbWFpbCI6Imxpc3RlbmVy"
    "QGV4YW1wbGUuY29tIiwiaXNzIjoiaHR0cHM6Ly9hdXRoLmV4YW1wbGUuY29tIiwiZXhwIjo0MTAyNDQ0ODAw"
    "LCJpYXQiOjE3MDAwMDAwMDAsInBlcm1pc3Npb25zIjpbImFkbWluIl19."
    "c2VsZnRlc3Q";
inline const std::string kSampleEmail = "listener@example.com";
inline constexpr int64_t kSampleExp = 4102444800;
inline constexpr int64_t kNow = 1700000000;

}  // namespace vltest

#endif
