#!/usr/bin/env bash
# Every test this project has, as CI runs it on a fresh Debian 12 machine:
#   1. the normal build (g++) and all its tests, including the replay of every
#      fuzz target's seeds and regressions;
#   2. a second build with clang, AddressSanitizer and UndefinedBehaviorSanitizer
#      (halting on the first report, leaks included), and all tests again;
#   3. each libFuzzer program of that build fuzzing for a bounded time
#      (ALD_FUZZ_SECONDS, 30 by default; 0 skips this step);
#   4. the Windows build (MinGW-w64 cross compiler) and its tests under Wine,
#      with aldctl.exe scanning the demo site served by aldsim through Wine's
#      serial code (ALD_WINDOWS=0 skips this step).
# Run it from anywhere; it works in the checkout it belongs to. As root it first
# installs the Debian packages it needs.
set -euo pipefail
cd "$(dirname "$0")/.."

fuzz_seconds=${ALD_FUZZ_SECONDS:-30}
jobs=$(nproc)

step() { printf '\n=== %s (%s)\n' "$*" "$(date -u +%H:%M:%S)"; }

if [ "$(id -u)" -eq 0 ]; then
  step "install packages"
  apt-get update
  DEBIAN_FRONTEND=noninteractive apt-get install -y \
    build-essential cmake ninja-build pkg-config libusb-1.0-0-dev \
    libgtest-dev libgmock-dev libbenchmark-dev clang-14 libclang-rt-14-dev \
    qt6-base-dev xvfb xauth fonts-dejavu-core \
    googletest g++-mingw-w64-x86-64-posix wine wine64
fi

step "normal build"
cmake -S . -B build -G Ninja -DALD_BUILD_TESTS=ON
cmake --build build
step "tests"
ctest --test-dir build --output-on-failure -j"$jobs"

step "sanitizer build (clang, ASan + UBSan, fuzz programs)"
CC=clang-14 CXX=clang++-14 cmake -S . -B build-sanitize -G Ninja \
  -DALD_SANITIZE=ON -DALD_FUZZ=ON -DALD_BUILD_TESTS=ON
cmake --build build-sanitize
export ASAN_OPTIONS=halt_on_error=1:detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
step "tests under the sanitizers"
ctest --test-dir build-sanitize --output-on-failure -j"$jobs"

if [ "$fuzz_seconds" -gt 0 ]; then
  step "fuzzing, ${fuzz_seconds} s per target"
  work=build-sanitize/fuzz-run
  rm -rf "$work"
  mkdir -p "$work"
  pids=()
  names=()
  for program in build-sanitize/bin/*_fuzz; do
    name=$(basename "$program" _fuzz)
    mkdir -p "$work/$name/corpus" "$work/$name/artifacts"
    # New inputs go to a scratch folder; the committed seeds and regressions
    # are read only.
    seeds=(fuzz/corpus/"$name")
    [ -d fuzz/regressions/"$name" ] && seeds+=(fuzz/regressions/"$name")
    "$program" -max_total_time="$fuzz_seconds" -timeout=10 -rss_limit_mb=2048 \
      -print_final_stats=1 -artifact_prefix="$work/$name/artifacts/" \
      "$work/$name/corpus" "${seeds[@]}" >"$work/$name/log" 2>&1 &
    pids+=($!)
    names+=("$name")
    # As many fuzzers at a time as there are cores.
    if [ "${#pids[@]}" -ge "$jobs" ]; then
      wait "${pids[0]}" || { echo "fuzzing ${names[0]} failed:"; tail -60 "$work/${names[0]}/log"; exit 1; }
      pids=("${pids[@]:1}")
      names=("${names[@]:1}")
    fi
  done
  for i in "${!pids[@]}"; do
    wait "${pids[$i]}" || { echo "fuzzing ${names[$i]} failed:"; tail -60 "$work/${names[$i]}/log"; exit 1; }
  done
  printf '%-16s %12s %10s %8s\n' target executions exec/s cov
  for log in "$work"/*/log; do
    name=$(basename "$(dirname "$log")")
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
    cov=$(grep -o 'cov: [0-9]*' "$log" | tail -1 | cut -d' ' -f2)
    printf '%-16s %12s %10s %8s\n' "$name" "${runs:-?}" "${rate:-?}" "${cov:-?}"
  done
fi
if [ "${ALD_WINDOWS:-1}" != 0 ]; then
  step "Windows build (MinGW-w64) and its tests under Wine"
  win_start=$(date +%s)
  launcher=()
  if command -v ccache >/dev/null; then
    launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  fi
  cmake -S . -B build-win -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
    -DCMAKE_BUILD_TYPE=Release -DALD_BUILD_TESTS=ON "${launcher[@]}"
  cmake --build build-win
  tests/win/run-wine-tests.sh build-win build/bin/aldsim
  echo "Windows stage: $(( $(date +%s) - win_start )) s"
fi
step "all tests passed"
