#!/usr/bin/env bash
# Builds the fuzz targets (the `fuzz` preset: clang, libFuzzer, ASan and UBSan) and runs
# each of them in turn for a bounded time, starting from the committed seed corpus.
#
#   bash scripts/fuzz.sh [seconds-per-target] [target...]
#
# Default 30 seconds a target, every target. One target runs at a time. Inputs that the
# fuzzer found interesting go to fuzz/corpus-work/<target>/ (kept between runs, not
# committed); an input that breaks a property or crashes goes to fuzz/artifacts/. Exits
# non-zero when any target fails. VLAUTH_FUZZ_BUILD_DIR overrides the build directory
# (default build/fuzz).
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-30}
shift || true
build=${VLAUTH_FUZZ_BUILD_DIR:-build/fuzz}
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  targets=(fuzz_guid fuzz_claims fuzz_extract_token fuzz_cookie_value
           fuzz_login_request fuzz_web_login_url fuzz_session_policy)
fi

cmake --preset fuzz -B "$build" >/dev/null
ninja -C "$build" -j2 "${targets[@]}" >/dev/null

mkdir -p fuzz/artifacts
# Leaks and every sanitizer finding end the run with an error.
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1:strict_string_checks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

failed=()
summary=()
for t in "${targets[@]}"; do
  work="fuzz/corpus-work/$t"
  log="$build/$t.log"
  mkdir -p "$work"
  echo "== $t: ${seconds}s"
  status=ok
  if ! "$build/fuzz/$t" "$work" "fuzz/corpus/$t" -dict=fuzz/vlauth.dict \
      -max_total_time="$seconds" -max_len=8192 -timeout=10 -rss_limit_mb=2048 \
      -artifact_prefix="fuzz/artifacts/$t-" -print_final_stats=1 >"$log" 2>&1; then
    status=FAILED
    failed+=("$t")
    grep -E "property violated|ERROR|SUMMARY|Test unit written" -A2 "$log" | head -20 || true
  fi
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  cov=$(grep -Eo 'cov: [0-9]+' "$log" | tail -1 || true)
  summary+=("$(printf '%-22s %-7s %12s execs  %s  corpus %s' "$t" "$status" "${execs:-?}" \
                 "${cov:-cov: ?}" "$(find "$work" -type f | wc -l)")")
done

echo
echo "== fuzzing summary (${seconds}s a target)"
printf '%s\n' "${summary[@]}"
if [ ${#failed[@]} -ne 0 ]; then
  echo "failed: ${failed[*]} (inputs in fuzz/artifacts/, logs in $build/)" >&2
  exit 1
fi
