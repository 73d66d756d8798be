#!/usr/bin/env bash
# Builds the libFuzzer targets with clang, AddressSanitizer and UndefinedBehaviorSanitizer
# in build/fuzz, replays each target's committed corpus and regression inputs, then
# fuzzes each target for FUZZ_SECONDS seconds (default 45) from a scratch copy of its
# corpus, one target at a time. Crash inputs and logs go to a scratch folder, whose path
# is printed; it is kept when something failed (or with FUZZ_KEEP=1).
# Ends with "Fuzzing: N passed, M failed" and exits non-zero on any failure.
set -uo pipefail
cd "$(dirname "$0")/../.."

FUZZ_SECONDS=${FUZZ_SECONDS:-45}
targets=(profile_fuzzer serial_param_fuzzer com_ports_fuzzer pcsc_strings_fuzzer
         config_writer_fuzzer)
declare -A max_len=(
  [profile_fuzzer]=4096 [serial_param_fuzzer]=4096 [com_ports_fuzzer]=4096
  [pcsc_strings_fuzzer]=2048 [config_writer_fuzzer]=4096)
declare -A dictionary=(
  [profile_fuzzer]=tests/fuzz/ini.dict [serial_param_fuzzer]=tests/fuzz/ini.dict
  [config_writer_fuzzer]=tests/fuzz/ini.dict)

for tool in clang clang++ cmake; do
  if ! command -v "$tool" >/dev/null; then
    echo "run-fuzzers: $tool is missing (Debian package: clang, cmake)" >&2
    echo "Fuzzing: 0 passed, ${#targets[@]} failed"
    exit 1
  fi
done

build=build/fuzz
echo "== Building the fuzz targets in $build"
if ! CC=clang CXX=clang++ cmake -S . -B "$build" -DTELMAR_FUZZ=ON -DTELMAR_WERROR=ON \
       -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTELMAR_SANITIZE=address,undefined >/dev/null ||
   ! cmake --build "$build" --target fuzzers -j2; then
  echo "run-fuzzers: the build failed" >&2
  echo "Fuzzing: 0 passed, ${#targets[@]} failed"
  exit 1
fi

scratch=$(mktemp -d "${TMPDIR:-/tmp}/telmar-fuzz-run.XXXXXX")
echo "== Scratch folder (artifacts, logs): $scratch"
# Where the targets make their data folders: memory when possible, since the profile
# writes sync every file they replace.
if [ -d /dev/shm ] && [ -w /dev/shm ]; then
  data_root=$(mktemp -d /dev/shm/telmar-fuzz-data.XXXXXX)
else
  data_root=$scratch/tmp
  mkdir -p "$data_root"
fi
trap 'rm -rf "$data_root"' EXIT
export TMPDIR=$data_root
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export ASAN_OPTIONS=${ASAN_OPTIONS:-abort_on_error=0}

passed=0
failed=0
for target in "${targets[@]}"; do
  binary=$build/tests/$target
  corpus=tests/fuzz/corpus/$target
  regressions=tests/fuzz/regressions/$target
  artifacts=$scratch/artifacts/$target
  work=$scratch/corpus/$target
  log=$scratch/$target.log
  mkdir -p "$artifacts" "$work"
  ok=1

  # 1. Every committed input, once.
  mapfile -t inputs < <(find "$corpus" "$regressions" -type f 2>/dev/null | sort)
  if [ ${#inputs[@]} -gt 0 ]; then
    if ! "$binary" -artifact_prefix="$artifacts/" -rss_limit_mb=2048 -timeout=10 \
         "${inputs[@]}" >"$log.replay" 2>&1; then
      ok=0
      echo "-- $target: a committed input fails (log: $log.replay)"
      grep -E '^Running:|fuzz check failed|ERROR: |runtime error' "$log.replay" | tail -n 3
    fi
  fi

  # 2. Fuzzing from a copy of the corpus, so the committed one does not grow.
  if [ $ok -eq 1 ]; then
    [ -d "$corpus" ] && cp -r "$corpus/." "$work/"
    options=()
    [ -n "${dictionary[$target]:-}" ] && options+=(-dict="${dictionary[$target]}")
    if ! "$binary" "$work" -max_total_time="$FUZZ_SECONDS" -max_len="${max_len[$target]}" \
         -timeout=10 -rss_limit_mb=2048 -artifact_prefix="$artifacts/" \
         -print_final_stats=1 "${options[@]}" >"$log" 2>&1; then
      ok=0
      echo "-- $target: fuzzing found a failure (log: $log)"
      grep -E 'fuzz check failed|ERROR:|runtime error|SUMMARY' "$log" | head -n 10
      ls "$artifacts"
    else
      runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
      echo "-- $target: ${runs:-?} runs"
    fi
  fi

  if [ $ok -eq 1 ]; then
    echo "PASS $target"
    passed=$((passed + 1))
  else
    echo "FAIL $target (artifacts: $artifacts)"
    failed=$((failed + 1))
  fi
done

if [ $failed -eq 0 ] && [ "${FUZZ_KEEP:-0}" != 1 ]; then
  rm -rf "$scratch"
  echo "== Scratch folder removed: nothing failed"
else
  echo "== Scratch folder kept: $scratch"
fi
echo "Fuzzing: $passed passed, $failed failed"
[ $failed -eq 0 ]
