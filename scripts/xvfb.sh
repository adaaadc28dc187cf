#!/usr/bin/env bash
# Source this: starts a private Xvfb when no display is set and exports DISPLAY. Xvfb picks a
# free display itself and names it on fd 3, so runs side by side never end up on one display.
if [ -z "${DISPLAY:-}" ]; then
  geq15_xvfb_name=$(mktemp)
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$geq15_xvfb_name" >/dev/null 2>&1 &
  GEQ15_XVFB_PID=$!
  for _ in $(seq 600); do [ -s "$geq15_xvfb_name" ] && break; sleep 0.1; done  # ready when named
  export DISPLAY=:$(head -n 1 "$geq15_xvfb_name")
  rm -f "$geq15_xvfb_name"
  trap 'kill $GEQ15_XVFB_PID 2>/dev/null || true' EXIT
fi
