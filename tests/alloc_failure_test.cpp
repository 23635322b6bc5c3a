// Every allocation of every export, made to fail: for each input the call is run with
// its 1st, 2nd, 3rd, ... allocation failing, once failing only that one ("fail once")
// and once failing it and every later one ("keep failing"), until a run completes
// without an injected failure. At every failure point the call must not crash, must
// return exactly its normal result or null (never another text), must leave the error
// text that its failure table gives for a null, and must leak nothing once the caller
// has released the result.
#include <gtest/gtest.h>
#include <stdio.h>
#include <string.h>

#include <functional>
#include <string>
#include <vector>

#include "support/fault_alloc.h"
#include "test_support.h"
#include "vlauth.h"

namespace {

using fault_alloc::Mode;
using namespace vltest;

const char kBadPayload[] = "invalid jwt base64url payload";
const char kNotObject[] = "jwt payload is not json object";
const char kEmpty[] = "";
const size_t kAny = static_cast<size_t>(-1);

// An error text that a null result may carry. The texts of one export are listed in the
// order in which the call's allocations reach them, so that a later failure point never
// shows an earlier text. `text` null stands for "as before the call"; `max_points` bounds
// how many failure points may show it (1 for a text that belongs to one allocation).
struct NullText {
  const char *text;
  size_t max_points;
};
const NullText kLeftByOne{nullptr, 1};
const NullText kLeft{nullptr, kAny};
const NullText kEmptied{kEmpty, kAny};
// The claims decoder: its decode buffer, then the reading of the payload, then the
// claims document.
const std::vector<NullText> kClaimsNulls{{kBadPayload, 1}, {kNotObject, kAny}, kEmptied};

struct Case {
  std::string name;
  std::function<char *()> call;
  std::vector<NullText> nulls;
  // Sets the error text before each call: a message the call itself never writes.
  void (*prepare)() = leave_message;
};

void leave_malformed() { vlauth_free(vlauth_parse_jwt_claims_json(nullptr, 0)); }

struct Tally {
  size_t fail_once = 0;
  size_t keep_failing = 0;
};

// What one run under the injector showed, taken before anything else allocates.
struct Run {
  fault_alloc::Outcome outcome;
  bool is_null;
  bool is_normal;
  char error[64];
  size_t leaked;
};

Run run_once(const Case &c, Mode mode, size_t n, const std::string *normal) {
  c.prepare();
  fault_alloc::begin(mode, n);
  char *result = c.call();
  Run r{};
  r.outcome = fault_alloc::end();
  r.is_null = result == nullptr;
  r.is_normal = result != nullptr && normal != nullptr && strcmp(result, normal->c_str()) == 0;
  snprintf(r.error, sizeof r.error, "%s", vlauth_last_error());
  vlauth_free(result);
  r.leaked = fault_alloc::tracked_live();
  if (r.leaked != 0) fault_alloc::forget_tracked();
  return r;
}

std::string describe(const char *text) {
  return text == nullptr ? "(left as before)" : "\"" + std::string(text) + "\"";
}

// Sweeps one input through both modes; adds its failure points to `tally`.
void sweep(const Case &c, Tally &tally) {
  SCOPED_TRACE(c.name);
  // The normal run, and the text the call leaves when it succeeds or refuses normally.
  c.prepare();
  std::string sentinel = vlauth_last_error();
  fault_alloc::begin(Mode::count);
  char *result = c.call();
  fault_alloc::Outcome base = fault_alloc::end();
  bool normal_is_null = result == nullptr;
  std::string normal = normal_is_null ? "" : result;
  std::string normal_error = vlauth_last_error();
  vlauth_free(result);
  size_t leaked = fault_alloc::tracked_live();
  fault_alloc::forget_tracked();
  ASSERT_EQ(leaked, 0u) << "the normal run leaks";

  for (Mode mode : {Mode::fail_once, Mode::keep_failing}) {
    const char *mode_name = mode == Mode::fail_once ? "fail once" : "keep failing";
    size_t phase = 0;
    std::vector<size_t> shown(c.nulls.size(), 0);
    size_t n = 1;
    for (;; ++n) {
      SCOPED_TRACE(std::string(mode_name) + ", allocation " + std::to_string(n));
      Run r = run_once(c, mode, n, normal_is_null ? nullptr : &normal);
      EXPECT_EQ(r.leaked, 0u) << "blocks still allocated after the result was released";
      if (!r.outcome.injected) {
        // Past the last allocation: the call must run exactly as it did normally.
        EXPECT_EQ(r.outcome.allocations, base.allocations);
        EXPECT_EQ(r.is_null, normal_is_null);
        EXPECT_TRUE(r.is_null || r.is_normal);
        EXPECT_EQ(r.error, normal_error);
        break;
      }
      if (!r.is_null) {
        EXPECT_TRUE(r.is_normal) << "a result other than the normal one";
        EXPECT_EQ(r.error, normal_error);
      } else {
        size_t i = phase;
        auto matches = [&](size_t k) {
          const char *want = c.nulls[k].text == nullptr ? sentinel.c_str() : c.nulls[k].text;
          return strcmp(r.error, want) == 0;
        };
        while (i < c.nulls.size() && !matches(i)) ++i;
        if (i == c.nulls.size()) {
          std::string allowed;
          for (size_t k = phase; k < c.nulls.size(); ++k) allowed += describe(c.nulls[k].text) + " ";
          ADD_FAILURE() << "null with error text \"" << r.error << "\"; allowed here: " << allowed;
        } else {
          phase = i;
          EXPECT_LE(++shown[i], c.nulls[i].max_points)
              << "too many failure points show " << describe(c.nulls[i].text);
        }
      }
      if (::testing::Test::HasFailure() || n > 100000) break;
    }
    (mode == Mode::fail_once ? tally.fail_once : tally.keep_failing) += n - 1;
    if (::testing::Test::HasFailure()) return;
  }
}

void sweep_all(const char *export_name, const std::vector<Case> &cases) {
  Tally tally;
  for (const Case &c : cases) {
    sweep(c, tally);
    if (::testing::Test::HasFailure()) return;
  }
  printf("[ sweep    ] %s: %zu failure points (%zu fail once, %zu keep failing) over %zu inputs\n",
         export_name, tally.fail_once + tally.keep_failing, tally.fail_once, tally.keep_failing,
         cases.size());
}

// ---- Inputs --------------------------------------------------------------------------

const std::string kLongEmail = std::string(300, 'e') + "@example.com";
const std::string kLongBase = "https://" + std::string(700, 'h') + ".example.com//";

std::string signed_in_payload(const std::string &email) {
  return "{\"sub\":\"" + kGuid + "\",\"email\":\"" + email +
         "\",\"iss\":\"https://auth.example.com\",\"exp\":4102444800,\"iat\":1700000000,"
         "\"permissions\":[\"read\",7,\"admin\",[\"admin\"],\"write\",\"admin\"]}";
}
// A payload far beyond what the library keeps on its stack: every working document and
// buffer of the claims and the policy goes to the heap.
std::string large_payload() {
  std::string perms;
  for (int i = 0; i < 400; ++i) perms += "\"permission-" + std::to_string(i) + "\",";
  return "{\"sub\":\"" + kGuid + "\",\"email\":\"" + kLongEmail +
         "\",\"exp\":4102444800,\"permissions\":[" + perms + "\"admin\"]}";
}
const std::string kToken = token_for(signed_in_payload("listener@example.com"));
const std::string kLargeToken = token_for(large_payload());
const std::string kLongEmailToken = token_for(signed_in_payload(kLongEmail));
const std::string kExpiredToken =
    token_for("{\"sub\":\"" + kGuid + "\",\"exp\":1000,\"permissions\":[\"admin\"]}");
const std::string kEmptyObjectToken = token_for("{}");
const std::string kBadCharToken = token_with_segment("eyJ=fQ");
const std::string kNotJsonToken = token_for("{\"sub\":");
const std::string kArrayToken = token_for("[\"admin\",1,2,3]");

// ---- The sweeps ------------------------------------------------------------------------

// Skips when something else owns the heap (valgrind replaces malloc even in the test
// executable): the injector would never be asked, and every sweep would pass unseen.
class AllocFailure : public ::testing::Test {
 protected:
  void SetUp() override {
    void *(*volatile allocate)(size_t) = malloc;
    fault_alloc::begin(Mode::count);
    void *probe = allocate(1);
    fault_alloc::Outcome out = fault_alloc::end();
    free(probe);
    if (out.allocations != 1) GTEST_SKIP() << "the fault-injecting heap is not in use";
  }
};

TEST_F(AllocFailure, ClaimsDecoder) {
  auto claims = [](std::string token, int64_t now) {
    return [token, now] { return vlauth_parse_jwt_claims_json(token.c_str(), now); };
  };
  sweep_all("vlauth_parse_jwt_claims_json",
            {
                {"signed-in claims", claims(kToken, kNow), kClaimsNulls},
                {"sample token", claims(kSampleToken, kNow), kClaimsNulls},
                {"long e-mail", claims(kLongEmailToken, kNow), kClaimsNulls},
                {"large payload", claims(kLargeToken, kNow), kClaimsNulls},
                {"empty object", claims(kEmptyObjectToken, 0), kClaimsNulls},
                {"expired", claims(kExpiredToken, kNow), kClaimsNulls},
                {"malformed token", claims(std::string("a.b"), kNow), kClaimsNulls},
                {"bad base64url character", claims(kBadCharToken, kNow), kClaimsNulls},
                {"payload not JSON", claims(kNotJsonToken, kNow), kClaimsNulls},
                {"payload an array", claims(kArrayToken, kNow), kClaimsNulls},
            });
}

TEST_F(AllocFailure, TokenSearch) {
  auto extract = [](std::string text) {
    return [text] { return vlauth_extract_token(text.c_str()); };
  };
  sweep_all("vlauth_extract_token",
            {
                {"cookie header", extract("theme=dark; ov_token=" + kToken + "; lang=en"), {kLeft}},
                {"callback query", extract("https://app.example.com/cb?x=1&token=" + kToken + "#top"),
                 {kLeft}},
                {"bad cookie value, then query", extract("ov_token=a.b&token=" + kToken), {kLeft}},
                {"bad cookie value, free-standing token first",
                 extract("token=" + kToken + "; ov_token=a..b"), {kLeft}},
                {"no token", extract("theme=dark; lang=en"), {kLeft}},
            });
}

TEST_F(AllocFailure, CookieBuilder) {
  auto cookie = [](std::string token) {
    return [token] { return vlauth_build_cookie_value(token.c_str()); };
  };
  sweep_all("vlauth_build_cookie_value",
            {
                {"valid token", cookie(kToken), {kLeft}, leave_malformed},
                {"malformed token", cookie("a.b"), {kLeft}, leave_malformed},
            });
}

TEST_F(AllocFailure, LoginRequest) {
  auto login = [](std::string base, std::string email, std::string password) {
    return [base, email, password] {
      return vlauth_build_login_request_json(base.c_str(), email.c_str(), password.c_str());
    };
  };
  // The login URL buffer comes first and leaves the error text; after it, emptied.
  const std::vector<NullText> nulls{kLeftByOne, kEmptied};
  sweep_all("vlauth_build_login_request_json",
            {
                {"plain", login("https://auth.example.com/", "a@example.com", "secret"), nulls},
                {"quotes and backslashes",
                 login("https://auth.example.com", "\"q\"@example.com", "p\\a\"ss"), nulls},
                {"long base and e-mail", login(kLongBase, kLongEmail, std::string(500, 'p')), nulls},
                {"invalid e-mail", login("https://auth.example.com", "ab", "secret"), nulls},
                {"password not UTF-8", login("https://auth.example.com", "a@b.c", "\xC3"), nulls},
            });
}

TEST_F(AllocFailure, WebLoginUrl) {
  auto web = [](std::string base, const char *redirect) {
    return [base, redirect] { return vlauth_build_web_login_url(base.c_str(), redirect); };
  };
  sweep_all("vlauth_build_web_login_url",
            {
                {"without redirect", web("https://auth.example.com///", nullptr), {kLeft}},
                {"with redirect", web("https://auth.example.com", "https://app.example.com/a b?c=%41"),
                 {kLeft}},
                {"long base", web(kLongBase, "\xC3\xA9t\xC3\xA9"), {kLeft}},
                {"invalid base", web("ftp://auth.example.com", "x"), {kLeft}},
            });
}

TEST_F(AllocFailure, SessionPolicy) {
  auto policy = [](std::string token, int64_t now, const char *dist, const char *music) {
    return [token, now, dist, music] {
      return vlauth_session_policy_json(token.c_str(), now, dist, music);
    };
  };
  // Every null of the policy comes with an emptied error text: a failure inside its own
  // decoding of the token included, which must never turn a session into a guest's.
  const std::vector<NullText> nulls{kEmptied};
  sweep_all("vlauth_session_policy_json",
            {
                {"signed in, default bases", policy(kToken, kNow, nullptr, nullptr), nulls},
                {"sample token", policy(kSampleToken, kNow, "https://dist.example.com/",
                                        "https://music.example.com"), nulls},
                {"long e-mail and base URLs",
                 policy(kLongEmailToken, kNow, kLongBase.c_str(), kLongBase.c_str()), nulls},
                {"large payload", policy(kLargeToken, kNow, nullptr, kLongBase.c_str()), nulls},
                {"guest: no token", policy("", kNow, nullptr, nullptr), nulls},
                {"guest: expired", policy(kExpiredToken, kNow, nullptr, nullptr), nulls},
                {"guest: payload an array", policy(kArrayToken, kNow, nullptr, nullptr), nulls},
                {"guest: malformed token", policy("a.b", kNow, nullptr, nullptr), nulls},
            });
}

// The self-test returns a step number, not a string: under a failure it returns 0 or the
// step in which the failure happened, never an earlier step, and leaks nothing.
TEST_F(AllocFailure, SelfTest) {
  Tally tally;
  for (Mode mode : {Mode::fail_once, Mode::keep_failing}) {
    int32_t last_step = 3;
    size_t n = 1;
    for (;; ++n) {
      SCOPED_TRACE("allocation " + std::to_string(n));
      leave_message();
      fault_alloc::begin(mode, n);
      int32_t step = vlauth_selftest();
      fault_alloc::Outcome out = fault_alloc::end();
      std::string error = vlauth_last_error();
      EXPECT_EQ(fault_alloc::tracked_live(), 0u);
      fault_alloc::forget_tracked();
      if (!out.injected) {
        EXPECT_EQ(step, 0);
        EXPECT_EQ(error, "");
        break;
      }
      if (step != 0) {
        EXPECT_GE(step, last_step) << "a failure point fails an earlier step";
        EXPECT_LE(step, 5);
        last_step = step;
        if (step == 3) {
          EXPECT_TRUE(error == kBadPayload || error == kNotObject || error == kEmpty) << error;
        } else {
          EXPECT_EQ(error, "");
        }
      } else {
        EXPECT_EQ(error, "");
      }
      if (::testing::Test::HasFailure()) return;
    }
    (mode == Mode::fail_once ? tally.fail_once : tally.keep_failing) += n - 1;
  }
  printf("[ sweep    ] vlauth_selftest: %zu failure points (%zu fail once, %zu keep failing)\n",
         tally.fail_once + tally.keep_failing, tally.fail_once, tally.keep_failing);
}

// The exports that allocate nothing: no allocation is ever attempted.
TEST_F(AllocFailure, ExportsWithoutAllocation) {
  fault_alloc::begin(Mode::keep_failing, 1);
  vlauth_version();
  vlauth_abi_version();
  vlauth_last_error();
  vlauth_free(nullptr);
  int32_t guid = vlauth_is_valid_guid(kGuid.c_str());
  int32_t bad = vlauth_is_valid_guid("../bad");
  fault_alloc::Outcome out = fault_alloc::end();
  EXPECT_EQ(out.allocations, 0u);
  EXPECT_EQ(guid, 0);
  EXPECT_EQ(bad, -1);
}

// The injector itself: a failure is injected exactly where asked, and a leak is seen.
TEST_F(AllocFailure, InjectorWorks) {
  // Through a volatile pointer, so that the compiler keeps every call.
  void *(*volatile allocate)(size_t) = malloc;
  fault_alloc::begin(Mode::fail_once, 2);
  void *a = allocate(8);
  void *b = allocate(8);
  void *c = allocate(8);
  fault_alloc::Outcome out = fault_alloc::end();
  EXPECT_NE(a, nullptr);
  EXPECT_EQ(b, nullptr);
  EXPECT_NE(c, nullptr);
  EXPECT_TRUE(out.injected);
  EXPECT_EQ(out.allocations, 3u);
  EXPECT_EQ(fault_alloc::tracked_live(), 2u);
  free(a);
  EXPECT_EQ(fault_alloc::tracked_live(), 1u);
  free(c);
  EXPECT_EQ(fault_alloc::tracked_live(), 0u);
}

}  // namespace
