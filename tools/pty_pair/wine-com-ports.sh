#!/usr/bin/env bash
# Null-modem COM ports for Windows programs under Wine, made of pty pairs.
#
#   wine-com-ports.sh start PTY_PAIR STATE_DIR COMa COMb [COMc COMd ...]
#   wine-com-ports.sh stop STATE_DIR
#
# start runs PTY_PAIR (tools/pty_pair) in the background with the ports taken
# in pairs (COMa<->COMb, ...), its pid in STATE_DIR/pid and its log in
# STATE_DIR/pty_pair.log; links $WINEPREFIX/dosdevices/comN to STATE_DIR/comN;
# and records the ports in the registry (HKLM\Software\Wine\Ports), so a
# wineserver that restarts recreates the links. Programs that open the ports
# need LD_PRELOAD=libpty_modem.so and PTY_MODEM_DIR=STATE_DIR (see pty_modem.c).
# stop ends that pty_pair, by its recorded pid only.
# WINEPREFIX defaults to the build tree's prefix, as in scripts/wine-exec.
set -euo pipefail

if [[ -z "${WINEPREFIX:-}" ]]; then
    export WINEPREFIX="${PWD%%/build/*}/build/wineprefix"
fi
export WINEDEBUG="${WINEDEBUG:--all}"

ours_running() {  # pid file names a live pty_pair of this state directory
    local dir=$1 pid
    [[ -f "$dir/pid" ]] || return 1
    pid=$(cat "$dir/pid")
    [[ -r "/proc/$pid/cmdline" ]] || return 1
    tr '\0' ' ' <"/proc/$pid/cmdline" | grep -q "pty_pair $dir " || return 1
    echo "$pid"
}

alive() {  # running, not a zombie waiting for its parent
    local state
    state=$(awk '{print $3}' "/proc/$1/stat" 2>/dev/null) || return 1
    [[ -n "$state" && "$state" != Z ]]
}

stop_ports() {
    local dir=$1 pid
    if pid=$(ours_running "$dir"); then
        kill "$pid"
        for _ in $(seq 100); do alive "$pid" || break; sleep 0.05; done
    fi
    rm -f "$dir/pid"
}

start_ports() {
    local pair=$1 dir=$2
    shift 2
    stop_ports "$dir"
    mkdir -p "$dir"
    dir=$(cd "$dir" && pwd)
    local names=() port
    for port in "$@"; do names+=("${port,,}"); done
    rm -f "$dir/ready"
    setsid "$pair" "$dir" "${names[@]}" </dev/null >"$dir/pty_pair.log" 2>&1 &
    echo $! >"$dir/pid"
    for _ in $(seq 200); do [[ -e "$dir/ready" ]] && break; sleep 0.05; done
    [[ -e "$dir/ready" ]] || { echo "pty_pair did not start" >&2; cat "$dir/pty_pair.log" >&2; exit 1; }

    mkdir -p "$WINEPREFIX/dosdevices"
    local reg="$dir/ports.reg"
    printf 'REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Wine\\Ports]\n' >"$reg"
    for port in "$@"; do
        ln -sfn "$dir/${port,,}" "$WINEPREFIX/dosdevices/${port,,}"
        printf '"%s"="%s"\n' "${port^^}" "$dir/${port,,}" >>"$reg"
    done
    wine reg import "Z:${reg//\//\\}" >/dev/null 2>&1 ||
        echo "warning: could not record the ports in the registry" >&2
    echo "COM ports ${*^^} ready in $dir"
}

case "${1:-}" in
    start) shift; [[ $# -ge 4 ]] || { echo "usage: $0 start PTY_PAIR STATE_DIR COMa COMb ..." >&2; exit 2; }
           start_ports "$@" ;;
    stop)  [[ $# -eq 2 ]] || { echo "usage: $0 stop STATE_DIR" >&2; exit 2; }
           stop_ports "$(cd "$2" 2>/dev/null && pwd || echo "$2")" ;;
    *)     echo "usage: $0 start|stop ..." >&2; exit 2 ;;
esac
