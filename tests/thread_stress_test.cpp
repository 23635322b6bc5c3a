// Many threads calling every export at once, with inputs that succeed and inputs that
// fail. Each thread keeps its own model of its error text and checks, after every call,
// that the text is exactly what its own call must leave: written, emptied or left as it
// was, whatever the other threads do meanwhile. Results cross threads too: a string
// returned on one thread is released on another.
#include <gtest/gtest.h>
#include <string.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "test_support.h"
#include "vlauth.h"

namespace {

using namespace vltest;

const int kThreads = 8;
const int kRounds = 500;

// What a call does to the calling thread's error text.
struct ErrorEffect {
  enum Kind { write, empty, leave } kind;
  const char *message;  // for `write`
};
const ErrorEffect kLeaves{ErrorEffect::leave, nullptr};
const ErrorEffect kEmpties{ErrorEffect::empty, nullptr};
ErrorEffect writes(const char *message) { return ErrorEffect{ErrorEffect::write, message}; }

// One call, its result as text (nullopt for null) and its effect on the error text.
struct Step {
  std::string name;
  std::function<std::optional<std::string>()> call;
  ErrorEffect effect;
  std::optional<std::string> expected;  // filled in by a first, single-threaded run
};

std::optional<std::string> number(int64_t value) { return std::to_string(value); }

// Returned strings handed from one thread to another for release.
std::mutex g_mailbox_lock;
std::vector<char *> g_mailbox;

std::optional<std::string> pass_on(char *returned) {
  std::optional<std::string> text;
  if (returned != nullptr) text = std::string(returned);
  std::vector<char *> received;
  {
    std::lock_guard<std::mutex> lock(g_mailbox_lock);
    received.swap(g_mailbox);
    if (returned != nullptr) g_mailbox.push_back(returned);
  }
  for (char *p : received) vlauth_free(p);
  return text;
}

const std::string kToken = token_for("{\"sub\":\"" + kGuid +
                                     "\",\"email\":\"a@example.com\",\"exp\":4102444800,"
                                     "\"permissions\":[\"admin\",\"read\"]}");
const std::string kExpiredToken = token_for("{\"sub\":\"" + kGuid + "\",\"exp\":1000}");
const std::string kBadCharToken = token_with_segment("eyJ=fQ");
const std::string kArrayToken = token_for("[1]");
const std::string kCookieText = "a=1; ov_token=" + kToken + "; b=2";

std::vector<Step> make_steps() {
  auto text = [](char *returned) { return take(returned); };
  return {
      {"version", [] { return std::optional<std::string>(vlauth_version()); }, kLeaves, {}},
      {"abi version", [] { return number(vlauth_abi_version()); }, kLeaves, {}},
      {"free null", [] { vlauth_free(nullptr); return std::optional<std::string>(); }, kLeaves, {}},
      {"guid valid", [] { return number(vlauth_is_valid_guid(kGuid.c_str())); }, kLeaves, {}},
      {"guid invalid", [] { return number(vlauth_is_valid_guid("../bad")); }, kLeaves, {}},
      {"claims", [=] { return text(vlauth_parse_jwt_claims_json(kToken.c_str(), kNow)); }, kEmpties, {}},
      {"claims null token", [=] { return text(vlauth_parse_jwt_claims_json(nullptr, kNow)); },
       writes("malformed jwt"), {}},
      {"claims bad payload", [=] { return text(vlauth_parse_jwt_claims_json(kBadCharToken.c_str(), 1)); },
       writes("invalid jwt base64url payload"), {}},
      {"claims array", [=] { return text(vlauth_parse_jwt_claims_json(kArrayToken.c_str(), 1)); },
       writes("jwt payload is not json object"), {}},
      {"extract", [=] { return text(vlauth_extract_token(kCookieText.c_str())); }, kLeaves, {}},
      {"extract none", [=] { return text(vlauth_extract_token("x=1&token=a..b")); }, kLeaves, {}},
      {"cookie", [] { return pass_on(vlauth_build_cookie_value(kToken.c_str())); }, kEmpties, {}},
      {"cookie invalid", [=] { return text(vlauth_build_cookie_value("a.b")); }, writes("invalid jwt"), {}},
      {"login", [=] { return text(vlauth_build_login_request_json("https://auth.example.com/", "a@b.c", "pw\"")); },
       kEmpties, {}},
      {"login bad base", [=] { return text(vlauth_build_login_request_json("auth", "a@b.c", "pw")); },
       writes("invalid auth_base_url"), {}},
      {"login bad email", [=] { return text(vlauth_build_login_request_json("https://a.example", "ab", "pw")); },
       writes("invalid email"), {}},
      {"login empty password", [=] { return text(vlauth_build_login_request_json("https://a.example", "a@b", "")); },
       writes("empty password"), {}},
      {"login invalid password",
       [=] { return text(vlauth_build_login_request_json("https://a.example", "a@b", "\xFF")); },
       writes("invalid password"), {}},
      {"web login", [=] { return text(vlauth_build_web_login_url("https://auth.example.com", "/a b")); },
       kLeaves, {}},
      {"web login bad base", [=] { return text(vlauth_build_web_login_url("http://a", nullptr)); },
       writes("invalid auth_base_url"), {}},
      {"policy signed in", [] { return pass_on(vlauth_session_policy_json(kToken.c_str(), kNow, nullptr, nullptr)); },
       kEmpties, {}},
      {"policy expired", [=] { return text(vlauth_session_policy_json(kExpiredToken.c_str(), kNow, "https://d/", nullptr)); },
       kEmpties, {}},
      {"policy bad token", [=] { return text(vlauth_session_policy_json("a.b", kNow, nullptr, nullptr)); },
       kEmpties, {}},
      {"self-test", [] { return number(vlauth_selftest()); }, kEmpties, {}},
  };
}

struct ThreadReport {
  size_t calls = 0;
  size_t mismatches = 0;
  std::string first;
};

void hammer(const std::vector<Step> &steps, unsigned seed, std::atomic<int> &ready,
            ThreadReport &report) {
  std::mt19937 rng(seed);
  std::vector<size_t> order(steps.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = i;
  auto mismatch = [&report](const std::string &what) {
    if (report.mismatches++ == 0) report.first = what;
  };

  // A new thread starts with an empty error text, whatever the others have written.
  ready.fetch_add(1);
  while (ready.load() < kThreads) std::this_thread::yield();
  if (vlauth_last_error()[0] != '\0') mismatch("a new thread's error text is not empty");

  std::string model;  // what this thread's error text must hold
  for (int round = 0; round < kRounds; ++round) {
    std::shuffle(order.begin(), order.end(), rng);
    for (size_t i : order) {
      const Step &s = steps[i];
      std::optional<std::string> got = s.call();
      ++report.calls;
      if (s.effect.kind == ErrorEffect::write) model = s.effect.message;
      if (s.effect.kind == ErrorEffect::empty) model.clear();
      if (got != s.expected) mismatch(s.name + ": result differs");
      if (model != vlauth_last_error()) {
        mismatch(s.name + ": error text \"" + vlauth_last_error() + "\", expected \"" + model + "\"");
        model = vlauth_last_error();
      }
    }
  }
}

TEST(ThreadStress, EveryExportFromManyThreadsKeepsEachThreadsErrorText) {
  std::vector<Step> steps = make_steps();
  // The expected results, from one thread; each must also show its effect there.
  for (Step &s : steps) {
    leave_message();
    s.expected = s.call();
    std::string after = vlauth_last_error();
    switch (s.effect.kind) {
      case ErrorEffect::write: EXPECT_EQ(after, s.effect.message) << s.name; break;
      case ErrorEffect::empty: EXPECT_EQ(after, "") << s.name; break;
      case ErrorEffect::leave: EXPECT_EQ(after, "invalid jwt") << s.name; break;
    }
  }
  ASSERT_EQ(steps[0].expected, std::optional<std::string>("1.0.0"));
  ASSERT_EQ(steps.back().expected, std::optional<std::string>("0"));

  std::atomic<int> ready{0};
  std::vector<ThreadReport> reports(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back(hammer, std::cref(steps), 1000u + static_cast<unsigned>(t), std::ref(ready),
                         std::ref(reports[static_cast<size_t>(t)]));
  }
  for (std::thread &t : threads) t.join();
  pass_on(nullptr);  // releases what is left in the mailbox

  size_t calls = 0;
  for (int t = 0; t < kThreads; ++t) {
    const ThreadReport &r = reports[static_cast<size_t>(t)];
    calls += r.calls;
    EXPECT_EQ(r.mismatches, 0u) << "thread " << t << ", first: " << r.first;
  }
  EXPECT_EQ(calls, static_cast<size_t>(kThreads) * kRounds * steps.size());
  // The main thread's own error text is untouched by all of that.
  EXPECT_STREQ(vlauth_last_error(), "");
}

}  // namespace
