#!/bin/bash
# Runs the Windows build's tests under Wine:
#   tests/win/run-wine-tests.sh BUILD_WIN ALDSIM
# BUILD_WIN is the MinGW build folder (cmake/mingw-w64-x86_64.cmake), ALDSIM
# the Linux aldsim program. Each test program is started once; then
# aldctl.exe scans the demo site served by aldsim on a pseudo-terminal that
# Wine maps to COM5, found through the stand-in bridge chip and a USB key in
# Wine's registry: the real serial path of the Windows build.
# The Wine prefix lives in BUILD_WIN/wineprefix and is made on first use.
# Every Wine run has a time limit, so that a hanging read cannot stall CI.
set -euo pipefail

build=$(cd "$1" && pwd)
aldsim=$2
src=$(cd "$(dirname "$0")/../.." && pwd)
bin=$build/bin
export WINEPREFIX=$build/wineprefix
export WINEDEBUG=-all
# No Mono or Gecko install prompts for a prefix that needs neither.
export WINEDLLOVERRIDES="mscoree,mshtml="
log=$build/wine-tests
mkdir -p "$log"

fail=0
note() { printf '%s\n' "$*"; }

if [ ! -f "$WINEPREFIX/system.reg" ]; then
  note "wine: making the prefix $WINEPREFIX"
  wineboot -u >"$log/wineboot.log" 2>&1 || { note "wineboot failed, see $log/wineboot.log"; exit 1; }
fi

# --- test programs, each started once --------------------------------------
# One case is left out as a Linux notion: it counts open descriptors in
# /proc and expects a directory to open as a file.
linux_only=RetLineTest.FilesThatCannotBeSentAreRefusedWithoutTraffic
for t in win_tests win_adapter_tests win_hdlc_tests win_procedures_tests win_retma_tests \
         win_discovery_tests win_devices_tests win_sim_tests win_panelcore_tests; do
  if timeout 300 wine "$bin/$t.exe" --gtest_brief=1 --gtest_filter="-$linux_only" >"$log/$t.log" 2>&1; then
    note "wine: $t: $(grep -a -E '^\[  PASSED  \]' "$log/$t.log" | tr -d '\r')"
  else
    note "wine: $t FAILED (see $log/$t.log):"
    grep -a -E '^\[  FAILED  \]' "$log/$t.log" | tr -d '\r' || true
    fail=1
  fi
done

# --- aldctl.exe on the in-process simulated line (virtual clock) ------------
if ALDLINK_SIM="Z:$src/sites/demo.site" ALDLINK_SIM_CLOCK=virtual \
     timeout 120 wine "$bin/aldctl.exe" scan + list >"$log/aldctl-sim.out" 2>&1 &&
   grep -q '^Found 5 devices' "$log/aldctl-sim.out"; then
  note "wine: aldctl.exe scan + list on ALDLINK_SIM: $(head -n1 "$log/aldctl-sim.out" | tr -d '\r')"
else
  note "wine: aldctl.exe on ALDLINK_SIM FAILED (see $log/aldctl-sim.out)"
  fail=1
fi

# --- aldctl.exe against aldsim through Wine's serial code ------------------
simout=$log/aldsim.out
"$aldsim" -q "$src/sites/demo.site" >"$simout" 2>&1 &
simpid=$!
cleanup() {
  kill "$simpid" 2>/dev/null || true
  wait "$simpid" 2>/dev/null || true
  wine reg delete 'HKLM\SYSTEM\CurrentControlSet\Enum\USB\Vid_10c4&Pid_ea60\ALDSIM_1' /f >/dev/null 2>&1 || true
}
trap cleanup EXIT
pty=""
for _ in $(seq 50); do
  pty=$(head -n1 "$simout" 2>/dev/null || true)
  [ -n "$pty" ] && break
  sleep 0.1
done
if [ -z "$pty" ] || [ ! -e "$pty" ]; then
  note "wine: aldsim did not start: $(cat "$simout")"
  exit 1
fi

# COM5 is the pseudo-terminal: Wine's own mapping by registry value, and the
# device link its mount manager would make from it (made here too, so that
# the first program does not race the mount manager).
wine reg add 'HKLM\Software\Wine\Ports' /v COM5 /d "$pty" /f >/dev/null 2>&1
ln -sfn "$pty" "$WINEPREFIX/dosdevices/com5"
# The adapter: a stand-in bridge chip already in its default configuration,
# whose USB key names COM5.
chip=$log/chip.txt
printf 'parts=3\nvid=10c4\npid=ea60\nserial=ALDSIM 1\nmode=0f00\nreset=0000\nfxn=04\n' >"$chip"
wine reg add 'HKLM\SYSTEM\CurrentControlSet\Enum\USB\Vid_10c4&Pid_ea60\ALDSIM_1\Device Parameters' \
  /v PortName /d COM5 /f >/dev/null 2>&1

start=$(date +%s)
if CP210X_STANDIN_STATE="Z:$chip" timeout 300 wine "$bin/aldctl.exe" --trace "Z:$log/aldctl-trace.log" \
     scan + list >"$log/aldctl.out" 2>&1 &&
   grep -q '^Found 5 devices: RET 3 devices, 5 units; TMA 2 devices, 3 units' "$log/aldctl.out" &&
   [ "$(grep -c -E '^[0-9]+ +[0-9]+ +(RET|TMA) ' "$log/aldctl.out")" = 8 ]; then
  note "wine: aldctl.exe scan + list over COM5 -> $pty: 8 units listed in $(( $(date +%s) - start )) s"
  # The same site through the serial line and through the simulated line
  # inside the process: the same table.
  if ! cmp -s <(tr -d '\r' <"$log/aldctl.out") <(tr -d '\r' <"$log/aldctl-sim.out"); then
    note "wine: the table over COM5 differs from the in-process one:"
    diff <(tr -d '\r' <"$log/aldctl.out") <(tr -d '\r' <"$log/aldctl-sim.out") | head -20 || true
    fail=1
  fi
else
  note "wine: aldctl.exe scan + list FAILED (see $log/aldctl.out):"
  tr -d '\r' <"$log/aldctl.out" | head -20
  fail=1
fi

# A port named by ALDLINK_PORT that Windows does not have is refused before
# anything is loaded; the one that is there is accepted.
if ALDLINK_PORT=COM198 wine "$bin/aldctl.exe" list >"$log/aldctl-noport.out" 2>&1 ||
   ! grep -q 'ALDLINK_PORT: cannot open COM198' "$log/aldctl-noport.out"; then
  note "wine: aldctl.exe accepted a missing ALDLINK_PORT:"
  tr -d '\r' <"$log/aldctl-noport.out" | head -5
  fail=1
fi
if ALDLINK_PORT=COM5 wine "$bin/aldctl.exe" list >"$log/aldctl-port.out" 2>&1;
   grep -q 'ALDLINK_PORT:' "$log/aldctl-port.out"; then
  note "wine: aldctl.exe refused ALDLINK_PORT=COM5, which is there"
  fail=1
fi

# The adapter pulled out: the port is gone, the scan says so and fails.
kill "$simpid" 2>/dev/null || true
wait "$simpid" 2>/dev/null || true
if CP210X_STANDIN_STATE="Z:$chip" timeout 60 wine "$bin/aldctl.exe" scan --depth 1 >"$log/aldctl-gone.out" 2>&1; then
  note "wine: aldctl.exe scan on a vanished port reported success:"
  tr -d '\r' <"$log/aldctl-gone.out" | head -5
  fail=1
else
  note "wine: aldctl.exe scan on a vanished port fails: $(tr -d '\r' <"$log/aldctl-gone.out" | head -1)"
fi
exit $fail
