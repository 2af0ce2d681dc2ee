#!/usr/bin/env bash
# fuzz.sh SECONDS [TARGET...]: builds the libFuzzer targets with clang and
# the address and undefined-behaviour sanitizers, then runs each target
# (intake, answer, answer_text, frame_walk, config; all by default) for
# SECONDS, one after the other, and prints per target the executions, the
# coverage and any crash with the file its input was saved to. Exits non-zero on a crash.
#
# Each target grows a working corpus in build-fuzz/corpus/TARGET, started
# from the committed seeds in fuzz/corpus/TARGET (which it never changes);
# crashing inputs land in build-fuzz/crashes/TARGET. A crash is kept as a
# regression by copying its input to fuzz/regressions/TARGET/, which the
# unit tests replay.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
seconds="${1:?usage: scripts/fuzz.sh SECONDS [TARGET...]}"
shift
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(intake answer answer_text frame_walk config)

"$here/scripts/install-deps.sh"
build="$here/build-fuzz"
TARGETS="${targets[*]/#/tessel_fuzz_}" "$here/scripts/build.sh" "$build" \
  -DTESSEL_FUZZ=ON -DTESSEL_BUILD_TESTS=OFF -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  >/dev/null

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
failed=0
printf '%-11s %12s %8s %8s %8s  %s\n' target executions exec/s cov ft crash
for target in "${targets[@]}"; do
  corpus="$build/corpus/$target"
  crashes="$build/crashes/$target"
  log="$build/logs/$target.log"
  mkdir -p "$corpus" "$crashes" "$(dirname "$log")"
  cp -n "$here/fuzz/corpus/$target/"* "$corpus/"
  dict=()
  [ -f "$here/fuzz/$target.dict" ] && dict=(-dict="$here/fuzz/$target.dict")
  # Standard output is closed: the library's console lines would drown the
  # fuzzer's own report, which goes to standard error.
  status=0
  nice "$build/fuzz/tessel_fuzz_$target" "$corpus" "$here/fuzz/corpus/$target" \
    "${dict[@]}" -max_total_time="$seconds" -timeout=10 -close_fd_mask=1 \
    -print_final_stats=1 -artifact_prefix="$crashes/" >"$log" 2>&1 || status=$?
  # The last status line: "#RUNS DONE cov: N ft: N corp: ..." (or the last
  # progress line when the run ended on a crash).
  last="$(grep -E '^#[0-9]+' "$log" | tail -n 1 || true)"
  runs="$(grep -oE '^stat::number_of_executed_units: *[0-9]+' "$log" | grep -oE '[0-9]+$' || true)"
  speed="$(grep -oE '^stat::average_exec_per_sec: *[0-9]+' "$log" | grep -oE '[0-9]+$' || true)"
  cov="$(grep -oE 'cov: [0-9]+' <<<"$last" | grep -oE '[0-9]+' || true)"
  ft="$(grep -oE 'ft: [0-9]+' <<<"$last" | grep -oE '[0-9]+' || true)"
  crash="$(grep -oE 'Test unit written to [^ ]+' "$log" | sed 's/Test unit written to //' |
    tr '\n' ' ' || true)"
  if [ "$status" -ne 0 ]; then
    failed=1
    [ -z "$crash" ] && crash="exit $status, see $log"
    grep -E 'broken:|ERROR:|SUMMARY:' "$log" | head -n 3 | sed 's/^/    /' >&2 || true
  fi
  printf '%-11s %12s %8s %8s %8s  %s\n' "$target" "${runs:-?}" "${speed:-?}" "${cov:-?}" \
    "${ft:-?}" "${crash:-none}"
done
exit "$failed"
