#!/usr/bin/env bash
# Runs vantrel.exe under Wine on the Xvfb display and photographs the screen
# once its "Vantrel" box is mapped and drawn: without a host, the box that
# says so. (That the window never shows is the end-to-end tests' check.)
#   screenshot.sh NAME EXE ARTIFACTS_DIR     writes ARTIFACTS_DIR/NAME.png
set -euo pipefail
name=$1
exe=$2
artifacts=$3
title=Vantrel
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
mkdir -p "$artifacts"
shot="$artifacts/$name.png"
rm -f "$shot"

# The display wine-run uses: the caller's, else the private Xvfb.
display=${DISPLAY:-:${VANTREL_XVFB_DISPLAY:-97}}

"$root/scripts/wine-run" "$exe" </dev/null >/dev/null 2>&1 &
pid=$!
# The program is wine-run's child: ended first, or it outlives the wrapper.
cleanup() {
  local program
  program=$(pgrep -P "$pid" | head -n 1 || true)
  kill ${program:+"$program"} "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
}
trap cleanup EXIT

viewable() {  # an X window with this exact name that is on screen
  local id
  for id in $(DISPLAY=$display xwininfo -root -tree 2>/dev/null | awk -v t="\"$1\":" '$2 == t {print $1}'); do
    DISPLAY=$display xwininfo -id "$id" 2>/dev/null | grep -q 'Map State: IsViewable' && return 0
  done
  return 1
}

# Poll (the first start of a prefix takes a while) until the window is on
# screen and drawn: a drawn box has far more colours than the empty screen.
deadline=$((SECONDS + 120))
while :; do
  if viewable "$title"; then
    DISPLAY=$display import -window root "$shot"
    colours=$(identify -format '%k' "$shot")
    [ "$colours" -ge 16 ] && break
  fi
  if ! kill -0 "$pid" 2>/dev/null; then echo "vantrel.exe ended before showing \"$title\"" >&2; exit 1; fi
  if [ $SECONDS -ge $deadline ]; then echo "no \"$title\" on screen" >&2; exit 1; fi
  sleep 0.1
done
echo "screenshot: $shot ($colours colours)"
