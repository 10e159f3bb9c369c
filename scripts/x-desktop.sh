#!/usr/bin/env bash
# A throwaway X desktop for the tests that concern windows, from the Debian packages:
#
#   scripts/x-desktop.sh start DIR   starts Xvfb on a free display and openbox on it; prints
#                                    the display (":NN") once the window manager manages it
#   scripts/x-desktop.sh stop DIR    stops both and deletes DIR
#
# Xvfb picks the free display itself (-displayfd). The desktop is up only when openbox has
# announced itself on the root window (_NET_SUPPORTING_WM_CHECK): a window manager that did
# not start would let the tests pass on undecorated windows. Exits non-zero, with the reason
# on stderr, when either does not come up.
set -euo pipefail

usage() {
  echo "usage: $0 start|stop DIR" >&2
  exit 2
}
[ $# -eq 2 ] || usage
action=$1
dir=$2

alive() { [ -f "$1" ] && kill -0 "$(cat "$1")" 2>/dev/null; }

case "$action" in
start)
  for tool in Xvfb openbox xprop; do
    command -v "$tool" >/dev/null || {
      echo "$tool is not installed; install the xvfb, openbox and x11-utils packages (scripts/install-deps.sh)." >&2
      exit 1
    }
  done
  mkdir -p "$dir"
  dir=$(cd "$dir" && pwd)
  # 1280x1024, 24-bit: room for every screen at its design size with a frame round it.
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset \
    3>"$dir/display" >"$dir/xvfb.log" 2>&1 &
  echo $! >"$dir/xvfb.pid"
  for _ in $(seq 1 100); do
    [ -s "$dir/display" ] && break
    alive "$dir/xvfb.pid" || break
    sleep 0.1
  done
  if [ ! -s "$dir/display" ]; then
    echo "Xvfb did not start:" >&2
    cat "$dir/xvfb.log" >&2
    exit 1
  fi
  display=":$(head -n 1 "$dir/display" | tr -d '[:space:]')"
  # Openbox's own config folder, so nothing of the user's settings changes the windows.
  mkdir -p "$dir/home"
  DISPLAY=$display HOME="$dir/home" XDG_CONFIG_HOME="$dir/home" openbox --sm-disable \
    >"$dir/openbox.log" 2>&1 &
  echo $! >"$dir/openbox.pid"
  for _ in $(seq 1 100); do
    if DISPLAY=$display xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; then
      echo "$display" >"$dir/url"
      echo "$display"
      exit 0
    fi
    alive "$dir/openbox.pid" || break
    sleep 0.1
  done
  echo "The window manager (openbox) did not come up on $display:" >&2
  cat "$dir/openbox.log" >&2
  exit 1
  ;;
stop)
  [ -d "$dir" ] || exit 0
  for p in openbox xvfb; do
    if alive "$dir/$p.pid"; then
      kill "$(cat "$dir/$p.pid")" 2>/dev/null || true
      for _ in $(seq 1 30); do alive "$dir/$p.pid" || break; sleep 0.1; done
      alive "$dir/$p.pid" && kill -9 "$(cat "$dir/$p.pid")" 2>/dev/null || true
    fi
  done
  rm -rf "$dir"
  ;;
*)
  usage
  ;;
esac
