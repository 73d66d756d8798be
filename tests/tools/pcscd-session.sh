#!/bin/bash
# A private PC/SC service for tests: pcscd in the foreground with virtual readers
# (the vpcd driver of vsmartcard), started and stopped by its own process id.
#
#   pcscd-session.sh start DIR NAME...   start pcscd with one reader definition per NAME
#   pcscd-session.sh stop DIR            stop the pcscd started with DIR
#   pcscd-session.sh running             exit 0, printing its id, when a pcscd runs
#   pcscd-session.sh run DIR NAME... -- COMMAND [ARG...]
#                                        start, run COMMAND, stop; COMMAND's status
#
# DIR (created when missing) receives:
#   conf/readers       the reader definitions (pcscd -c DIR/conf)
#   pcscd.log          pcscd's own output (info level)
#   pcscd.pid          the id of the pcscd process started here
#   reader-names.txt   the names pcscd gave its readers, one a line, in its order
#                      (vpcd gives each definition two slots: "NAME 00 00", "NAME 00 01")
# and the environment variable PCSCD_SESSION_DIR is set to DIR for COMMAND.
#
# pcscd's socket is fixed (/run/pcscd/pcscd.comm): only one service can run. When a
# pcscd that this script did not start is running, `start` and `run` exit with 77 (the
# "skipped" status of ctest and automake) and leave it alone.
#
# Requirements: pcscd and vsmartcard-vpcd installed; the right to create /run/pcscd
# (root in a fresh container; pcscd creates the folder itself when it may). The Debian
# pcscd used here is built without polkit, so no polkit daemon is needed. Each
# definition's driver listens on TCP ports PORT and PORT+1 (PCSCD_SESSION_PORT, 35963 by
# default, then +2 per definition); pcscd runs in a network namespace of its own when
# `unshare --net` is allowed, so that those ports are reachable from nowhere.
#
# Environment: PCSCD_SESSION_PORT, PCSCD_SESSION_DRIVER (the vpcd driver library),
# PCSCD_SESSION_TIMEOUT (seconds to wait for the readers, 10 by default).

set -u

SKIP=77
DRIVER=${PCSCD_SESSION_DRIVER:-/usr/lib/pcsc/drivers/serial/libifdvpcd.so}
PORT=${PCSCD_SESSION_PORT:-35963}
TIMEOUT=${PCSCD_SESSION_TIMEOUT:-10}
SOCKET=/run/pcscd/pcscd.comm

say() { echo "pcscd-session: $*" >&2; }

usage() {
  say "usage: $0 start DIR NAME... | stop DIR | running | run DIR NAME... -- COMMAND [ARG...]"
  exit 2
}

# True when process $1 runs (a zombie counts as ended).
is_alive() {
  [ -r "/proc/$1/stat" ] || return 1
  state=$(sed 's/^.*) //' "/proc/$1/stat" 2>/dev/null | cut -d' ' -f1)
  [ -n "$state" ] && [ "$state" != Z ]
}

# True when process $1 runs and is a pcscd.
is_pcscd() {
  is_alive "$1" && [ "$(cat "/proc/$1/comm" 2>/dev/null)" = pcscd ]
}

other_pcscd() {
  for p in $(pgrep -x pcscd 2>/dev/null); do
    if is_pcscd "$p"; then
      echo "$p"
      return 0
    fi
  done
  return 1
}

start() {
  dir=$1
  shift
  [ $# -ge 1 ] || usage
  command -v pcscd >/dev/null 2>&1 || { say "pcscd is not installed; skipped"; exit $SKIP; }
  [ -r "$DRIVER" ] || { say "vpcd driver $DRIVER not found; skipped"; exit $SKIP; }
  mkdir -p "$dir/conf" || exit 1
  if [ -f "$dir/pcscd.pid" ] && is_pcscd "$(cat "$dir/pcscd.pid")"; then
    say "a pcscd of $dir already runs; stop it first"
    exit 1
  fi
  if running=$(other_pcscd); then
    say "another pcscd (pid $running) is running; it is left alone and this test is skipped"
    exit $SKIP
  fi

  : >"$dir/conf/readers"
  port=$PORT
  for name in "$@"; do
    case $name in
      *'"'* | *'
'*) say "reader name with a quote or line break: $name"; exit 2 ;;
    esac
    printf 'FRIENDLYNAME "%s"\nDEVICENAME /dev/null:%d\nLIBPATH %s\nCHANNELID %d\n\n' \
      "$name" "$port" "$DRIVER" "$port" >>"$dir/conf/readers"
    port=$((port + 2))
  done

  mkdir -p /run/pcscd 2>/dev/null
  rm -f "$dir/reader-names.txt"
  if unshare --net true 2>/dev/null; then
    unshare --net pcscd --foreground --info --config "$dir/conf" >"$dir/pcscd.log" 2>&1 &
  else
    say "no private network namespace: the virtual readers listen on all interfaces"
    pcscd --foreground --info --config "$dir/conf" >"$dir/pcscd.log" 2>&1 &
  fi
  pid=$!
  echo "$pid" >"$dir/pcscd.pid"

  # Ready once pcscd says so and its socket exists; the readers of a reader.conf are
  # all added before that.
  tries=$((TIMEOUT * 10))
  while :; do
    if ! is_alive "$pid"; then
      say "pcscd ended at start:"
      cat "$dir/pcscd.log" >&2
      rm -f "$dir/pcscd.pid"
      exit 1
    fi
    if grep -q 'daemon ready' "$dir/pcscd.log" && [ -S "$SOCKET" ]; then break; fi
    tries=$((tries - 1))
    if [ $tries -le 0 ]; then
      say "pcscd not ready after ${TIMEOUT}s:"
      cat "$dir/pcscd.log" >&2
      stop "$dir"
      exit 1
    fi
    sleep 0.1
  done
  LC_ALL=C sed -n 's/.*Attempting startup of \(.*\) using .*/\1/p' "$dir/pcscd.log" >"$dir/reader-names.txt"
  say "pcscd $pid ready with $(wc -l <"$dir/reader-names.txt") readers"
}

stop() {
  dir=$1
  [ -f "$dir/pcscd.pid" ] || return 0
  pid=$(cat "$dir/pcscd.pid")
  if is_pcscd "$pid"; then
    kill -TERM "$pid" 2>/dev/null
    tries=50
    while is_pcscd "$pid" && [ $tries -gt 0 ]; do
      sleep 0.1
      tries=$((tries - 1))
    done
    if is_pcscd "$pid"; then
      say "pcscd $pid did not stop on TERM; killing it"
      kill -KILL "$pid" 2>/dev/null
      while is_pcscd "$pid"; do sleep 0.1; done
    fi
  fi
  rm -f "$dir/pcscd.pid"
}

if [ "${1:-}" = running ]; then
  other_pcscd
  exit $?
fi
[ $# -ge 2 ] || usage
action=$1
shift
case $action in
  start) start "$@" ;;
  stop) stop "$1" ;;
  run)
    dir=$1
    shift
    names=()
    while [ $# -gt 0 ] && [ "$1" != -- ]; do
      names+=("$1")
      shift
    done
    [ $# -ge 2 ] || usage
    shift
    ( start "$dir" "${names[@]}" ) || exit $?
    trap 'stop "$dir"' EXIT
    PCSCD_SESSION_DIR=$dir "$@"
    exit $?
    ;;
  *) usage ;;
esac
