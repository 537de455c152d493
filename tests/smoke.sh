#!/usr/bin/env bash
# Starts the real program on a virtual X display, waits for its main window,
# quits it with Ctrl+Q as a user would, and checks that it ends by itself with
# status 0. Usage: smoke.sh path/to/zorv
set -eu

binary=${1:?usage: smoke.sh path/to/zorv}
[ -x "$binary" ] || { echo "smoke: no program at $binary" >&2; exit 1; }
for tool in xvfb-run xauth xdotool timeout setsid; do
    command -v "$tool" >/dev/null || { echo "smoke: $tool is missing (make deps installs it)" >&2; exit 1; }
done

work=$(mktemp -d)
group=""
cleanup() {
    # Everything below runs in one session of our own; end what is left of it.
    if [ -n "$group" ]; then
        kill -TERM -- "-$group" 2>/dev/null || true
        sleep 0.5
        kill -KILL -- "-$group" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT

# Runs on the virtual display: $1 is the program, $2 the folder for its files.
cat >"$work/session.sh" <<'EOF'
set -eu
program=$1
export HOME=$2 XDG_CONFIG_HOME=$2/config XDG_RUNTIME_DIR=$2/runtime QT_QPA_PLATFORM=xcb
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"

"$program" >"$2/program.log" 2>&1 &
pid=$!
trap 'kill "$pid" 2>/dev/null || true' EXIT

window=$(timeout 20 xdotool search --sync --name '^Power Supply Window$' | head -n 1) || true
if [ -z "$window" ]; then
    echo "smoke: the window \"Power Supply Window\" did not appear" >&2
    exit 1
fi
echo "smoke: found window $window"

# Without a window manager nothing gives the window the focus; the shortcut
# needs an active window.
timeout 5 xdotool windowfocus --sync "$window" || true
# The program may quit on the key press and take the window with it before
# the release is sent, which xdotool reports as an error: what counts is
# whether the program ends.
timeout 5 xdotool key --window "$window" ctrl+q 2>/dev/null || true

for _ in $(seq 100); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
done
if kill -0 "$pid" 2>/dev/null; then
    echo "smoke: the program still runs 10 s after Ctrl+Q" >&2
    exit 1
fi
status=0
wait "$pid" || status=$?
trap - EXIT
echo "smoke: the program ended with status $status"
exit "$status"
EOF

setsid xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" \
    bash "$work/session.sh" "$binary" "$work" >"$work/session.log" 2>&1 &
group=$!

status=""
for _ in $(seq 600); do
    if ! kill -0 "$group" 2>/dev/null; then
        status=0
        wait "$group" || status=$?
        break
    fi
    sleep 0.1
done

cat "$work/session.log"
if [ -z "$status" ]; then
    echo "smoke: gave up after 60 s" >&2
    exit 1
fi
if [ "$status" -ne 0 ]; then
    echo "smoke: failed with status $status; the program said:" >&2
    cat "$work/program.log" >&2 2>/dev/null || true
    exit 1
fi
echo "smoke: passed"
