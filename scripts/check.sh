#!/usr/bin/env bash
# "Clean" in one command: the whole test suite under AddressSanitizer with UBSan, under
# ThreadSanitizer, and under valgrind memcheck, each in a build directory of its own.
#
#   bash scripts/check.sh [asan|tsan|valgrind|all]...      (default: all)
#
# Build directories: build/asan, build/tsan, build/valgrind (a dev build, so that
# valgrind sees the code as it ships); VLAUTH_CHECK_BUILD_PREFIX changes the "build/"
# part. Every finding fails the run: sanitizers halt on the first error, valgrind exits
# with 1 on any error or leak.
#
# The allocation-failure sweep (alloc_failure_test) runs under ASan and TSan, whose
# heaps it forwards to. It does not run under valgrind: valgrind replaces malloc and
# free in every object of the process, the test executable's own definitions included,
# so the fault-injecting heap is never called (the test would only skip itself).
set -euo pipefail
cd "$(dirname "$0")/.."

prefix=${VLAUTH_CHECK_BUILD_PREFIX:-build/}
start=$SECONDS

configure_and_build() {  # preset dir
  cmake --preset "$1" -B "$2" >/dev/null
  ninja -C "$2" -j2
}

run_asan() {
  local dir=${prefix}asan
  echo "==== ASan + UBSan ($dir)"
  configure_and_build asan "$dir"
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1:detect_stack_use_after_return=1 \
  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --test-dir "$dir" --output-on-failure --no-tests=error -j2
}

run_tsan() {
  local dir=${prefix}tsan
  echo "==== TSan ($dir)"
  configure_and_build tsan "$dir"
  TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
    ctest --test-dir "$dir" --output-on-failure --no-tests=error -j2
}

# Valgrind runs every test executable of the suite once as a whole (not once per test
# case, which would start valgrind hundreds of times), and every other test command
# whose program was built here exactly as CTest would run it.
run_valgrind() {
  local dir=${prefix}valgrind
  echo "==== valgrind memcheck ($dir)"
  configure_and_build dev "$dir"
  ctest --test-dir "$dir" --show-only=json-v1 >"$dir/tests.json"
  local vg=(valgrind --quiet --error-exitcode=1 --leak-check=full
            --show-leak-kinds=definite,indirect,possible
            --errors-for-leak-kinds=definite,indirect,possible)
  local failed=0 ran=0
  while IFS=$'\t' read -r workdir cmd; do
    [ -n "$cmd" ] || continue
    ran=$((ran + 1))
    echo "-- valgrind: ${cmd//$'\x1f'/ }"
    local argv
    IFS=$'\x1f' read -r -a argv <<<"$cmd"
    if ! (cd "$workdir" && "${vg[@]}" "${argv[@]}") >"$dir/valgrind-last.log" 2>&1; then
      cat "$dir/valgrind-last.log"
      failed=$((failed + 1))
    fi
  done < <(python3 - "$PWD/$dir" <<'EOF'
import json, os, sys
build = sys.argv[1]
with open(os.path.join(build, "tests.json")) as f:
    listing = json.load(f)
seen = set()
for test in listing["tests"]:
    cmd = test.get("command") or []
    if not cmd or not os.path.realpath(cmd[0]).startswith(os.path.realpath(build) + "/"):
        continue  # not a program of this build (a CMake script, a shell)
    if os.path.basename(cmd[0]) == "alloc_failure_test":
        continue  # see the note at the top of check.sh
    if any(a.startswith("--gtest_filter") for a in cmd):
        cmd = cmd[:1]  # the whole executable, once
    key = tuple(cmd)
    if key in seen:
        continue
    seen.add(key)
    props = {p["name"]: p["value"] for p in test.get("properties", [])}
    print(props.get("WORKING_DIRECTORY", build) + "\t" + "\x1f".join(cmd))
EOF
)
  echo "valgrind: $ran programs, $failed failed"
  [ "$ran" -gt 0 ] && [ "$failed" -eq 0 ]
}

modes=("$@")
[ ${#modes[@]} -ne 0 ] || modes=(all)
for mode in "${modes[@]}"; do
  case "$mode" in
    asan) run_asan ;;
    tsan) run_tsan ;;
    valgrind) run_valgrind ;;
    all) run_asan; run_tsan; run_valgrind ;;
    *) echo "usage: $0 [asan|tsan|valgrind|all]..." >&2; exit 2 ;;
  esac
done
echo "==== check.sh ${modes[*]}: clean in $((SECONDS - start)) s"
