#!/usr/bin/env bash
# Builds the benchmark preset into build/bench, runs the benchmark suite and prints a
# markdown table: for each export and input, the median time per call, its ratio to the
# floor measured in the same run (the claims document made with yyjson alone), the time
# per token byte and the heap allocations of one call. Below the table, the targets.
#
#   scripts/bench.sh                        # the whole table
#   scripts/bench.sh --benchmark_filter=small   # any further Google Benchmark option
#
# VLAUTH_BENCH_REPETITIONS (default 9) and VLAUTH_BENCH_MIN_TIME (seconds per repetition,
# default 0.2) trade time for steadier medians. Repetitions are interleaved at random, so
# that a burst of load on a shared machine spreads over all rows instead of a few.
# VLAUTH_BENCH_LIBRARY_DIR names a directory holding another build of the shared library
# (for instance of an earlier commit) to measure in its place, with the same benchmarks.
set -euo pipefail
cd "$(dirname "$0")/.."

reps="${VLAUTH_BENCH_REPETITIONS:-9}"
min_time="${VLAUTH_BENCH_MIN_TIME:-0.2}"
out="build/bench/bench-results.json"

cmake --preset bench >/dev/null
ninja -C build/bench -j2 vlauth_bench >/dev/null
LD_LIBRARY_PATH="${VLAUTH_BENCH_LIBRARY_DIR:-}${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}" \
build/bench/bench/vlauth_bench \
  --benchmark_repetitions="$reps" \
  --benchmark_min_time="$min_time" \
  --benchmark_enable_random_interleaving=true \
  --benchmark_report_aggregates_only=true \
  --benchmark_out="$out" --benchmark_out_format=json \
  "$@" >/dev/null

python3 - "$out" "$reps" <<'PY'
import json
import sys

path, reps = sys.argv[1], sys.argv[2]
with open(path) as f:
    data = json.load(f)

# The medians; a single repetition has no aggregates, only its one run.
medians = [b for b in data["benchmarks"]
           if b.get("run_type") == "aggregate" and b.get("aggregate_name") == "median"]
rows = []
for b in medians or data["benchmarks"]:
    export, _, token = b["run_name"].partition("/")
    rows.append({
        "export": export,
        "token": token,
        "ns": float(b["cpu_time"]),
        "allocs": int(round(b.get("allocs", 0))),
        "resizes": int(round(b.get("resizes", 0))),
        "alloc_bytes": int(round(b.get("alloc_bytes", 0))),
        "token_bytes": int(round(b.get("token_bytes", 0))),
    })

# Interleaved repetitions come in random order: put the rows in a fixed one.
export_order = ["floor", "vlauth_parse_jwt_claims_json", "vlauth_session_policy_json",
                "vlauth_extract_token", "vlauth_build_cookie_value", "vlauth_build_web_login_url",
                "vlauth_build_login_request_json", "vlauth_is_valid_guid", "vlauth_selftest",
                "vlauth_version", "vlauth_abi_version", "vlauth_last_error", "vlauth_free"]
token_order = ["small", "medium", "large", "huge", "none"]
rows.sort(key=lambda r: (export_order.index(r["export"]) if r["export"] in export_order else 99,
                         token_order.index(r["token"]) if r["token"] in token_order else 99,
                         r["token"]))

floor = {r["token"]: r["ns"] for r in rows if r["export"] == "floor"}

def ratio(r):
    base = floor.get(r["token"], floor.get("small"))
    return r["ns"] / base if base else float("nan")

def fmt_ratio(r):
    x = ratio(r)
    return "-" if x != x else f"{x:.2f}"

def fmt_ns(ns):
    return f"{ns:,.0f}" if ns >= 100 else f"{ns:.1f}"

print(f"Median of {reps} repetitions (CPU time); ratios against the floor of the same run "
      "(rows without a token: against the small token's floor).")
print()
print("| export | token | ns/op | ratio to floor | ns per token byte | allocations per call | bytes requested |")
print("|---|---|---:|---:|---:|---:|---:|")
for r in rows:
    per_byte = f"{r['ns'] / r['token_bytes']:.3f}" if r["token_bytes"] else "-"
    allocs = str(r["allocs"]) + (f" (+{r['resizes']} resized)" if r["resizes"] else "")
    print(f"| {r['export']} | {r['token']} | {fmt_ns(r['ns'])} | {fmt_ratio(r)} | {per_byte} "
          f"| {allocs} | {r['alloc_bytes']:,} |")

# The targets, from the same run.
by = {(r["export"], r["token"]): r for r in rows}
checks = []
for token in ("small", "medium", "large"):
    for export, limit in (("vlauth_parse_jwt_claims_json", 1.2), ("vlauth_session_policy_json", 2.0)):
        r = by.get((export, token))
        if r:
            checks.append((f"{export} on {token}: ratio {ratio(r):.2f} <= {limit}", ratio(r) <= limit))
for export in ("vlauth_parse_jwt_claims_json", "vlauth_session_policy_json"):
    large, huge = by.get((export, "large")), by.get((export, "huge"))
    if large and huge:
        a = large["ns"] / large["token_bytes"]
        b = huge["ns"] / huge["token_bytes"]
        checks.append((f"{export}: huge {b:.3f} ns/B <= 1.5 x large {a:.3f} ns/B", b <= 1.5 * a))
for export in ("vlauth_extract_token", "vlauth_build_cookie_value", "vlauth_build_web_login_url",
               "vlauth_is_valid_guid"):
    for (e, t), r in by.items():
        if e == export:
            checks.append((f"{export} ({t}): {r['ns']:.0f} ns < 150 ns", r["ns"] < 150))
if checks:
    print()
    print("Targets:")
    print()
    for text, ok in checks:
        print(f"- {'met' if ok else 'MISSED'}: {text}")
PY
