// A C++ host built against the installed vlauth.hpp and library alone.
#include <cstdio>
#include <string>

#include <vlauth.hpp>

int main() {
  const std::string base = "https://auth.example.com";
  const vlauth::result refused = vlauth::build_login_request_json(base, "listener", "pw");
  const vlauth::result guest = vlauth::session_policy_json(nullptr, 1700000000);
  if (!vlauth::abi_compatible() || vlauth::selftest() != 0 || refused ||
      std::string(refused.error()) != "invalid email" ||
      guest.text().find("\"mode\":\"guest\"") == std::string::npos) {
    std::fprintf(stderr, "C++ consumer: unexpected answer from the library\n");
    return 1;
  }
  std::printf("C++ consumer: library %s, errors carried as \"%s\"\n", vlauth::version(),
              refused.error());
  return 0;
}
