#!/usr/bin/env bash
# The window's OpenRGB SDK server and a client written by others: the npm
# package openrgb-sdk (pinned by package-lock.json, installed by
# scripts/setup into the build folder) lists the four virtual products and
# drives the mouse; then 1000 hostile connections, after which the window
# still answers m470ctl and the server a client; m470ctl switches it off and
# on, and on again without closing a connected client.
#   NodeClientTest.sh BIN_DIR CLIENT_DIR      (exit 77: skipped, no node here)
set -euo pipefail
bin=$1
client=$2
here=$(cd "$(dirname "$0")" && pwd)
if ! command -v node >/dev/null; then
  echo "node is not installed: skipped (scripts/setup installs it)"
  exit 77
fi
if [ ! -d "$client/node_modules/openrgb-sdk" ]; then
  echo "openrgb-sdk is not installed in $client: run scripts/setup" >&2
  exit 1
fi
export NODE_PATH=$client/node_modules

work=$(mktemp -d)
window=
cleanup() {
  local status=$?
  if [ -n "$window" ]; then
    kill "$window" 2>/dev/null || true
    wait "$window" 2>/dev/null || true  # ended by our signal: its status says nothing
  fi
  rm -rf "$work"
  exit "$status"
}
trap cleanup EXIT
mkdir -m 700 "$work/run"
mkdir -p "$work/config/M470"
export XDG_RUNTIME_DIR=$work/run XDG_DATA_HOME=$work/data XDG_CONFIG_HOME=$work/config QT_QPA_PLATFORM=offscreen
# A port free now (the kernel's choice), switched on as a user would.
port=$(node -e 'const s=require("net").createServer().listen(0,"127.0.0.1",()=>{console.log(s.address().port);s.close()})')
printf '{"OPENRGB_SDK": "1", "OPENRGB_SDK_PORT": "%s"}\n' "$port" > "$work/config/M470/registry.json"

M470_VIRTUAL_TRAFFIC=$work/traffic M470_DEBUG_LOG=$work/trace.log "$bin/m470" --virtual &
window=$!

node "$here/client.js" "$port" "$work/traffic"
node "$here/hostile.js" "$port"
# The window still answers at once, and the server a well-behaved client.
timeout 90 "$bin/m470ctl" list
node "$here/client.js" "$port" "$work/traffic" count-only
grep -q "SDK server listening on 127.0.0.1:$port" "$work/trace.log"
# m470ctl switches the window's server off (nobody is let in) and on again.
timeout 90 "$bin/m470ctl" sdk off
grep -q '"OPENRGB_SDK" : "0"' "$work/config/M470/registry.json"
connects() { node -e 'require("net").connect(+process.argv[1], "127.0.0.1").on("connect", () => process.exit(0)).on("error", () => process.exit(1))' "$port"; }
if connects; then echo "the server still takes clients after m470ctl sdk off" >&2; exit 1; fi
timeout 90 "$bin/m470ctl" sdk on
node "$here/client.js" "$port" "$work/traffic" count-only
# Said again while on, it leaves the clients connected.
node "$here/stays.js" "$port" "$bin/m470ctl"
echo "openrgb-sdk: done"
