#!/bin/sh
# Runs ZORV with a pseudo-terminal standing in for the first serial port the
# system lists, and prints what ZORV sends to it. The pseudo-terminal is bound
# over the port's device node in a mount namespace of ZORV's own, so ZORV
# lists the port and opens the pseudo-terminal; nothing changes outside.
# QSerialPort locks a port with a file LCK..<port> in the first lock folder
# it may write, /var/lock (on Debian a link to /run/lock): the namespace has
# an empty folder of its own over each, so a lock on the machine does not
# keep ZORV from the pseudo-terminal, and ZORV's lock keeps no program on
# the machine from the real port.
#
#   zorv_demo.sh RELAY PROGRAM
set -eu

relay=${1:?usage: zorv_demo.sh RELAY PROGRAM}
program=${2:?usage: zorv_demo.sh RELAY PROGRAM}

if ! port=$("$relay" --first-port); then
    echo "make demo: this machine lists no serial port for a pseudo-terminal to stand in for; plug in any USB serial adapter (no supply needed) and try again."
    exit 1
fi
device=/dev/$port

# Root can make a mount namespace as it is; anyone else needs a user
# namespace, in which they are root and may mount.
if [ "$(id -u)" = 0 ]; then
    set -- unshare --mount
else
    set -- unshare --map-root-user --mount
fi
if ! why=$("$@" true 2>&1); then
    echo "make demo: this system lets no normal user make a user namespace ($why); allow them (Debian: sudo sysctl kernel.unprivileged_userns_clone=1) and try again."
    exit 1
fi

echo "make demo: a pseudo-terminal stands in for $device while ZORV runs; choose a model, open examples/ramp-and-hold.txt and press Start."
exec "$@" "$relay" --port "$port" -- sh -c '
    for dir in /run/lock /var/lock; do
        [ -d "$dir" ] || continue
        real=$(cd "$dir" && pwd -P) || exit 1
        [ "$real" = "${mounted-}" ] && continue
        mount -t tmpfs -o mode=1777,size=1m,nosuid,nodev,noexec zorv-demo-locks "$real" || exit 1
        mounted=$real
    done
    mount --bind "$ZORV_DEMO_PTY" "$1" && exec "$2"' sh "$device" "$program"
