#!/usr/bin/env bash
# Fails when a source file includes a header of a layer above its own, or of a sibling layer.
# The layers, lowest first: engine, files (reading and replacing whole files) and resources
# (the program's resource ids); then host, settings, panel and curves, each on those alone; then
# the shell integration (shell/) and the application (app/), which composes them all. The tools
# use what they need below app/, and of app/ only its portable logic, whose names and command ids
# vez15-remote speaks to the running program.
# Tests and benchmarks may include whatever they test.
set -uo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# allowed LAYER: the folders whose headers a file in LAYER may include.
allowed() {
  case $1 in
    engine|files|resources) echo "$1" ;;
    host|curves) echo "$1 engine" ;;
    settings) echo "settings engine files" ;;
    panel) echo "panel engine resources" ;;
    shell) echo "shell engine files" ;;
    app) echo "app shell host settings panel curves engine files resources" ;;
    tools) echo "tools app shell host settings panel curves engine files" ;;
  esac
}

status=0
for layer in engine files resources host settings panel curves shell app tools; do
  [ -d "$root/$layer" ] || continue
  ok=" $(allowed "$layer") "
  while IFS=: read -r file line text; do
    target=$(sed -E 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"([^/"]+)\/.*/\1/' <<<"$text")
    case $ok in *" $target "*) ;; *)
      echo "${file#"$root/"}:$line: the $layer layer must not include a header of $target/: $text" >&2
      status=1 ;;
    esac
  done < <(grep -rnE --include='*.h' --include='*.cpp' '^[[:space:]]*#[[:space:]]*include[[:space:]]*"[^/"]+/' "$root/$layer")
done
[ $status -eq 0 ] && echo "check-layers: every include goes down the layers"
exit $status
