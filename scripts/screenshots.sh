#!/usr/bin/env bash
# The documentation's picture of the operator program: the main window after
# a scan of the demo site, taken under Xvfb (no display needed).
#
#   scripts/screenshots.sh [BUILD_DIR]      (default: build)
#
# Needs xvfb-run (Debian: xvfb, xauth) and a font (fonts-dejavu-core). The
# program runs on the in-process simulator on the virtual clock, with its own
# temporary data directory and shared words, so nothing of the user's is
# touched. Writes docs/aldpanel-main-window.png (the RET tab),
# docs/aldpanel-main-window-tma.png (the TMA tab of the same scan),
# docs/aldpanel-tma-detail.png (the TMA detail window of the AISG 2.0 TMA),
# docs/aldpanel-band-aisg2.png (the AISG 2.x band dialog of the first AISG 2.x
# antenna, as its "Sel" button opens it), and docs/aldpanel-ret-detail.png
# (the RET detail window of the first AISG 2.x antenna with two bands or more).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
build=$(cd "$build" && pwd)
out="$root/docs/aldpanel-main-window.png"
out_tma="$root/docs/aldpanel-main-window-tma.png"
if ! command -v xvfb-run > /dev/null; then
  echo "screenshots.sh: xvfb-run is missing (apt-get install xvfb xauth)" >&2
  exit 1
fi
data=$(mktemp -d)
trap 'rm -rf "$data"' EXIT
cd "$data"
XDG_DATA_HOME="$data" XDG_RUNTIME_DIR="$data" \
  ALDLINK_SIM="$root/sites/demo.site" ALDLINK_SIM_CLOCK=virtual \
  ALDGLUE_SHM_NAME="/aldpanel-screenshot-$$" QT_QPA_PLATFORM=xcb \
  xvfb-run -a -s "-screen 0 1920x1080x24" \
  "$build/bin/aldpanel" --screenshot "$out" --screenshot-tma "$out_tma" > /dev/null
out_tma_detail="$root/docs/aldpanel-tma-detail.png"
XDG_DATA_HOME="$data" XDG_RUNTIME_DIR="$data" \
  ALDLINK_SIM="$root/sites/demo.site" ALDLINK_SIM_CLOCK=virtual \
  ALDGLUE_SHM_NAME="/aldpanel-screenshot-tma-$$" QT_QPA_PLATFORM=xcb \
  xvfb-run -a -s "-screen 0 1920x1080x24" \
  "$build/bin/aldpanel" --screenshot-tma-detail "$out_tma_detail" > /dev/null
echo "$out"
echo "$out_tma"
echo "$out_tma_detail"
# The band dialog, from a scan of its own.
out_band="$root/docs/aldpanel-band-aisg2.png"
XDG_DATA_HOME="$data" XDG_RUNTIME_DIR="$data" \
  ALDLINK_SIM="$root/sites/demo.site" ALDLINK_SIM_CLOCK=virtual \
  ALDGLUE_SHM_NAME="/aldpanel-screenshot-band-$$" QT_QPA_PLATFORM=xcb \
  xvfb-run -a -s "-screen 0 1920x1080x24" \
  "$build/bin/aldpanel" --screenshot-band-aisg2 "$out_band" > /dev/null
echo "$out_band"
# The RET detail window of a two-band antenna, from a scan of its own.
out_ret="$root/docs/aldpanel-ret-detail.png"
XDG_DATA_HOME="$data" XDG_RUNTIME_DIR="$data" \
  ALDLINK_SIM="$root/sites/demo.site" ALDLINK_SIM_CLOCK=virtual \
  ALDGLUE_SHM_NAME="/aldpanel-screenshot-ret-$$" QT_QPA_PLATFORM=xcb \
  xvfb-run -a -s "-screen 0 1920x1080x24" \
  "$build/bin/aldpanel" --screenshot-ret-detail "$out_ret" > /dev/null
echo "$out_ret"
