// The library frame: versions, vlauth_free, the per-thread error text, and the rule by
// which every export writes, empties or leaves that text.
#include <cstring>
#include <functional>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "test_support.h"

namespace {

using vltest::kGuid;
using vltest::kNow;
using vltest::kSampleToken;
using vltest::last_error;
using vltest::token_for;

TEST(Frame, VersionsAreConstant) {
  const char *first = vlauth_version();
  EXPECT_STREQ(first, "1.0.0");
  EXPECT_STREQ(first, VLAUTH_VERSION_STRING);
  EXPECT_EQ(vlauth_version(), first);
  EXPECT_EQ(vlauth_abi_version(), 1);
  EXPECT_EQ(vlauth_abi_version(), VLAUTH_ABI_VERSION);
}

TEST(Frame, FreeOfNullDoesNothing) {
  vltest::leave_message();
  vlauth_free(nullptr);
  EXPECT_EQ(last_error(), "invalid jwt");
}

TEST(Frame, NewThreadStartsWithEmptyErrorText) {
  vltest::leave_message();
  std::string seen = "unset";
  std::thread([&seen] { seen = last_error(); }).join();
  EXPECT_EQ(seen, "");
  EXPECT_EQ(last_error(), "invalid jwt");
}

// Two threads write their messages in turn; each reads back its own afterwards, so a
// write on one thread never reaches the other's text.
TEST(Frame, ErrorTextIsPerThread) {
  std::promise<void> first_written, second_written;
  std::string first_seen, second_seen;
  const char *first_address = nullptr;
  const char *second_address = nullptr;
  std::thread first([&] {
    vlauth_free(vlauth_parse_jwt_claims_json(nullptr, 0));  // "malformed jwt"
    first_address = vlauth_last_error();
    first_written.set_value();
    second_written.get_future().wait();
    first_seen = last_error();
  });
  std::thread second([&] {
    first_written.get_future().wait();
    vlauth_free(vlauth_build_web_login_url("ftp://x", nullptr));  // "invalid auth_base_url"
    second_address = vlauth_last_error();
    second_seen = last_error();
    second_written.set_value();
  });
  first.join();
  second.join();
  EXPECT_EQ(first_seen, "malformed jwt");
  EXPECT_EQ(second_seen, "invalid auth_base_url");
  EXPECT_NE(first_address, second_address);
}

TEST(Frame, ShorterMessageAfterLongerReadsAlone) {
  vlauth_free(vlauth_parse_jwt_claims_json(token_for("[]").c_str(), 0));
  ASSERT_EQ(last_error(), "jwt payload is not json object");
  vlauth_free(vlauth_build_cookie_value("bad"));
  EXPECT_EQ(last_error(), "invalid jwt");
  EXPECT_EQ(std::strlen(vlauth_last_error()), std::strlen("invalid jwt"));
}

// What each export does to the error text, for every outcome a host can bring about
// without exhausting memory; the messages of all four exports that have them are here.
enum class Result { Null, NotNull, Zero, NonZero, None };
enum class Effect { Writes, Empties, Leaves };

struct Row {
  const char *name;
  std::function<Result()> call;
  Result result;
  Effect effect;
  const char *message;  // for Effect::Writes
};

Result text_result(char *returned) {
  Result r = returned == nullptr ? Result::Null : Result::NotNull;
  vlauth_free(returned);
  return r;
}
Result int_result(int32_t value) { return value == 0 ? Result::Zero : Result::NonZero; }

const char kBase[] = "https://auth.example.com";
const char kNotUtf8Base[] = "https://auth.example.com/\xFF";

TEST(Frame, ErrorTextRuleOfEveryExport) {
  const std::string not_object = token_for("[1]");
  const std::string bad_payload = "h.e=30.s";
  const std::string only_padding = "h.===.s";
  const std::vector<Row> rows = {
      {"version", [] { return vlauth_version() ? Result::NotNull : Result::Null; },
       Result::NotNull, Effect::Leaves, nullptr},
      {"abi_version", [] { return int_result(vlauth_abi_version() - 1); }, Result::Zero,
       Effect::Leaves, nullptr},
      {"last_error", [] { return vlauth_last_error() ? Result::NotNull : Result::Null; },
       Result::NotNull, Effect::Leaves, nullptr},
      {"free null", [] { vlauth_free(nullptr); return Result::None; }, Result::None,
       Effect::Leaves, nullptr},
      {"free returned string",
       [] { vlauth_free(vlauth_extract_token("token=a.b.c")); return Result::None; },
       Result::None, Effect::Leaves, nullptr},
      {"is_valid_guid good", [&] { return int_result(vlauth_is_valid_guid(kGuid.c_str())); },
       Result::Zero, Effect::Leaves, nullptr},
      {"is_valid_guid bad", [] { return int_result(vlauth_is_valid_guid("../bad")); },
       Result::NonZero, Effect::Leaves, nullptr},
      {"claims success",
       [&] { return text_result(vlauth_parse_jwt_claims_json(kSampleToken.c_str(), kNow)); },
       Result::NotNull, Effect::Empties, nullptr},
      {"claims null token", [] { return text_result(vlauth_parse_jwt_claims_json(nullptr, kNow)); },
       Result::Null, Effect::Writes, "malformed jwt"},
      {"claims bad payload character",
       [&] { return text_result(vlauth_parse_jwt_claims_json(bad_payload.c_str(), kNow)); },
       Result::Null, Effect::Writes, "invalid jwt base64url payload"},
      {"claims payload only padding",
       [&] { return text_result(vlauth_parse_jwt_claims_json(only_padding.c_str(), kNow)); },
       Result::Null, Effect::Writes, "invalid jwt base64url payload"},
      {"claims payload not an object",
       [&] { return text_result(vlauth_parse_jwt_claims_json(not_object.c_str(), kNow)); },
       Result::Null, Effect::Writes, "jwt payload is not json object"},
      {"extract found", [] { return text_result(vlauth_extract_token("ov_token=a.b.c")); },
       Result::NotNull, Effect::Leaves, nullptr},
      {"extract not found", [] { return text_result(vlauth_extract_token("ov_token=a.b")); },
       Result::Null, Effect::Leaves, nullptr},
      {"extract null", [] { return text_result(vlauth_extract_token(nullptr)); }, Result::Null,
       Effect::Leaves, nullptr},
      {"cookie success", [] { return text_result(vlauth_build_cookie_value("a.b.c")); },
       Result::NotNull, Effect::Empties, nullptr},
      {"cookie malformed", [] { return text_result(vlauth_build_cookie_value("a.b")); },
       Result::Null, Effect::Writes, "invalid jwt"},
      {"login success",
       [] { return text_result(vlauth_build_login_request_json(kBase, "a@b", "pw")); },
       Result::NotNull, Effect::Empties, nullptr},
      {"login bad base",
       [] { return text_result(vlauth_build_login_request_json("http://a", "a@b", "pw")); },
       Result::Null, Effect::Writes, "invalid auth_base_url"},
      {"login bad email",
       [] { return text_result(vlauth_build_login_request_json(kBase, "ab", "pw")); },
       Result::Null, Effect::Writes, "invalid email"},
      {"login empty password",
       [] { return text_result(vlauth_build_login_request_json(kBase, "a@b", "")); },
       Result::Null, Effect::Writes, "empty password"},
      {"login password not UTF-8",
       [] { return text_result(vlauth_build_login_request_json(kBase, "a@b", "p\xFF")); },
       Result::Null, Effect::Writes, "invalid password"},
      {"login base not UTF-8",
       [] { return text_result(vlauth_build_login_request_json(kNotUtf8Base, "a@b", "pw")); },
       Result::Null, Effect::Empties, nullptr},
      {"web login success", [] { return text_result(vlauth_build_web_login_url(kBase, nullptr)); },
       Result::NotNull, Effect::Leaves, nullptr},
      {"web login with redirect",
       [] { return text_result(vlauth_build_web_login_url(kBase, "https://x/")); },
       Result::NotNull, Effect::Leaves, nullptr},
      {"web login bad base", [] { return text_result(vlauth_build_web_login_url(nullptr, "x")); },
       Result::Null, Effect::Writes, "invalid auth_base_url"},
      {"policy guest",
       [] { return text_result(vlauth_session_policy_json(nullptr, kNow, nullptr, nullptr)); },
       Result::NotNull, Effect::Empties, nullptr},
      {"policy token refused by the decoder",
       [] { return text_result(vlauth_session_policy_json("a.b", kNow, nullptr, nullptr)); },
       Result::NotNull, Effect::Empties, nullptr},
      {"policy signed in",
       [&] {
         return text_result(
             vlauth_session_policy_json(kSampleToken.c_str(), kNow, nullptr, nullptr));
       },
       Result::NotNull, Effect::Empties, nullptr},
      {"policy base not UTF-8",
       [&] {
         return text_result(
             vlauth_session_policy_json(kSampleToken.c_str(), kNow, kNotUtf8Base, nullptr));
       },
       Result::Null, Effect::Empties, nullptr},
      {"selftest", [] { return int_result(vlauth_selftest()); }, Result::Zero, Effect::Empties,
       nullptr},
  };

  // Each row runs after three different prior texts: empty, a short message and the
  // longest one, so that a write of the very message already in place still shows.
  const std::vector<std::function<void()>> priors = {
      [] { vlauth_free(vlauth_build_cookie_value("a.b.c")); },
      [] { vlauth_free(vlauth_build_cookie_value(nullptr)); },
      [&] { vlauth_free(vlauth_parse_jwt_claims_json(not_object.c_str(), 0)); },
  };
  for (const Row &row : rows) {
    for (const auto &set_prior : priors) {
      set_prior();
      const std::string prior = last_error();
      SCOPED_TRACE(std::string(row.name) + ", prior text \"" + prior + "\"");
      EXPECT_EQ(row.call(), row.result);
      switch (row.effect) {
        case Effect::Writes: EXPECT_EQ(last_error(), row.message); break;
        case Effect::Empties: EXPECT_EQ(last_error(), ""); break;
        case Effect::Leaves: EXPECT_EQ(last_error(), prior); break;
      }
    }
  }
}

}  // namespace
