# shellcheck shell=bash
# Sourced by scripts/run, scripts/soak and scripts/measure-servo-latency: the
# whole system running on this machine. bridge.exe and the simulator emulator
# under Wine (a temporary prefix of their own, scripts/wine-session.sh), the box
# emulator natively on a pseudo-terminal that Wine sees as COM$LIVE_COM.
#
# The children run in sessions of their own (setsid; Xvfb in a process group
# of its own), so a Ctrl-C in the terminal reaches only the calling script.
# Its exit trap, live_end, then stops them in order, each by its pid: the
# bridge through its window (it writes its settings file as it closes), the
# simulator emulator through --stop, the box emulator with SIGTERM (it prints
# its summary), and last the Wine session.
#
# Before sourcing, the caller sets LIVE_OUT (folder for logs and results) and
# may set LIVE_T0 (its start, $EPOCHREALTIME) for the times in run.log.
# Functions:
#   live_build_start / live_build_wait   the needed targets of both presets
#   live_wine_session                    Xvfb, prefix, wineserver; sets the trap
#   live_write_app                       bridge.exe and its settings file
#   live_start_sim ARGS...               simulator emulator, log in $LIVE_OUT/sim.log
#   live_start_box INPUT-FD OUTPUT ARGS...   box emulator on COM$LIVE_COM
#   live_start_bridge                    bridge.exe; waits for its window
#   live_wait_connected SECONDS          until its log says "Connected"
#   live_probe ARGS...                   window_probe, output without CR
#   live_stop                            stops the children (live_end does too)
#   live_say TEXT                        progress: run.log, and the terminal
#                                        unless the box emulator's panel is on it

LIVE_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
LIVE_MINGW=$LIVE_ROOT/build/mingw
LIVE_NATIVE=$LIVE_ROOT/build/linux
LIVE_BOX=$LIVE_NATIVE/tools/box_emulator/box_emulator
LIVE_PTY_MODEM=$LIVE_NATIVE/tools/pty_modem/libpty_modem.so
LIVE_COM=${LIVE_COM:-1}
LIVE_T0=${LIVE_T0:-$EPOCHREALTIME}  # the caller may start the clock earlier
LIVE_PANEL=0
LIVE_BUILD_PIDS=()
LIVE_BRIDGE_PID=""
LIVE_SIM_PID=""
LIVE_BOX_PID=""
LIVE_WAIT_PID=""
LIVE_FAILURE=""
LIVE_STOPPED=0
mkdir -p "$LIVE_OUT"
: >"$LIVE_OUT/run.log"

live_elapsed() { awk -v a="$LIVE_T0" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.1f", b - a }'; }

live_say() {
    printf '%6ss  %s\n' "$(live_elapsed)" "$*" >>"$LIVE_OUT/run.log"
    [[ $LIVE_PANEL == 1 ]] || printf '%s\n' "$*"
}

live_fail() {
    LIVE_FAILURE=$*
    live_say "FAILED: $*"
    exit 1
}

# live_wait_until SECONDS COMMAND...: runs COMMAND until it succeeds; false
# after SECONDS.
live_wait_until() {
    local end=$((SECONDS + $1))
    shift
    until "$@"; do
        ((SECONDS < end)) || return 1
        sleep 0.1
    done
}

live_running() { kill -0 "$1" 2>/dev/null; }

# live_wait_exit PID SECONDS: waits for a child to end; false if it did not.
live_wait_exit() {
    timeout "$2" tail --pid="$1" -s 0.1 -f /dev/null || true
    if live_running "$1"; then return 1; fi
    wait "$1" 2>/dev/null || true
}

# Native build and Windows build side by side, each writing its own log.
live_build_start() {
    (cd "$LIVE_ROOT" && cmake --preset linux >/dev/null &&
        cmake --build --preset linux -j2 --target box_emulator pty_modem "$@") \
        >"$LIVE_OUT/build-linux.log" 2>&1 &
    LIVE_BUILD_PIDS+=($!)
    (cd "$LIVE_ROOT" && cmake --preset mingw >/dev/null &&
        cmake --build --preset mingw -j2 --target bridge sim_emulator window_probe) \
        >"$LIVE_OUT/build-mingw.log" 2>&1 &
    LIVE_BUILD_PIDS+=($!)
}

live_build_wait() {
    local pid failed=0
    for pid in "${LIVE_BUILD_PIDS[@]}"; do wait "$pid" || failed=1; done
    LIVE_BUILD_PIDS=()
    if ((failed)); then
        tail -n 30 "$LIVE_OUT/build-linux.log" "$LIVE_OUT/build-mingw.log" >&2
        live_fail "build failed; see $LIVE_OUT/build-*.log"
    fi
    live_say "built bridge.exe, the emulators and window_probe"
}

live_wine_session() {
    set -m  # Xvfb in a process group of its own, out of a Ctrl-C's reach
    source "$LIVE_ROOT/scripts/wine-session.sh"
    set +m
    trap live_end EXIT  # in place of the session's trap: live_end ends the session last
    # LD_PRELOAD splits at spaces: the library through a link in the session's folder.
    ln -sfn "$LIVE_PTY_MODEM" "$WINE_SESSION_DIR/libpty_modem.so"
    LIVE_PTY_MODEM=$WINE_SESSION_DIR/libpty_modem.so
    source "$LIVE_ROOT/scripts/box-emulator.sh"
    # Wine rebuilds dosdevices/comN when its server starts, unless registered.
    box_emulator_register_port "$LIVE_COM" "$WINEPREFIX/box-emulator/com$LIVE_COM"
    live_say "Wine prefix $WINEPREFIX on display $DISPLAY"
}

live_windows_path() { local p="Z:$1"; printf '%s' "${p//\//\\}"; }

# Two engines, thermocouples split 1, the SL30's sentences on box port 1 and
# the SL40's on box port 2, the box on COM$LIVE_COM.
live_write_app() {
    LIVE_APP=$WINE_SESSION_DIR/app
    mkdir -p "$LIVE_APP"
    cp "$LIVE_MINGW/app/win32/bridge.exe" "$LIVE_APP/"
    printf '[Setup]\r\nCommsPort=%d\r\nSL30Port=1\r\nSL40Port=2\r\n%s\r\n%s\r\n' \
        $((LIVE_COM - 1)) EGTCHTSplit=1 NumberOfEngines=2 >"$LIVE_APP/VELMORA.INI"
}

live_start_sim() {
    setsid wine "$LIVE_MINGW/tools/sim_emulator/sim_emulator.exe" \
        --log "$(live_windows_path "$LIVE_OUT/sim.log")" "$@" \
        </dev/null >"$LIVE_OUT/sim.out" 2>&1 &
    LIVE_SIM_PID=$!
    live_wait_until 60 grep -q READY "$LIVE_OUT/sim.out" ||
        live_fail "the simulator emulator did not start; see $LIVE_OUT/sim.out"
    live_say "simulator emulator up (pid $LIVE_SIM_PID)"
}

live_com_is_box() {
    [[ $(readlink -f "$WINEPREFIX/dosdevices/com$LIVE_COM") == /dev/pts/* ]] && return 0
    live_running "$LIVE_BOX_PID" || live_fail "the box emulator ended; see $LIVE_OUT"
    return 1
}

# live_start_box INPUT-FD OUTPUT ARGS...: OUTPUT "-" keeps the caller's
# standard output (the live view on a terminal). Waits for the COM link.
live_start_box() {
    local input=$1 output=$2
    shift 2
    local args=(--pty --wine-prefix "$WINEPREFIX" --com "$LIVE_COM" --log "$LIVE_OUT/box.log"
        --summary "$LIVE_OUT/box-summary.txt" "$@")
    if [[ $output == - ]]; then
        setsid "$LIVE_BOX" "${args[@]}" <&"$input" 2>>"$LIVE_OUT/box.err" &
    else
        setsid "$LIVE_BOX" "${args[@]}" <&"$input" >"$output" 2>&1 &
    fi
    LIVE_BOX_PID=$!
    live_wait_until 30 live_com_is_box || live_fail "the box emulator did not link COM$LIVE_COM"
}

live_start_bridge() {
    (cd "$LIVE_APP" && LD_PRELOAD=$LIVE_PTY_MODEM exec setsid wine bridge.exe) \
        </dev/null >"$LIVE_OUT/bridge.out" 2>&1 &
    LIVE_BRIDGE_PID=$!
    live_probe wait TForm1 60000 >/dev/null ||
        live_fail "no bridge window; see $LIVE_OUT/bridge.out"
}

live_probe() {
    wine "$LIVE_MINGW/tools/window_probe/window_probe.exe" "$@" </dev/null 2>/dev/null | tr -d '\r'
    return "${PIPESTATUS[0]}"
}

live_connected() {
    live_running "$LIVE_BRIDGE_PID" || live_fail "bridge.exe ended; see $LIVE_OUT/bridge.out"
    live_probe text TForm1 101 | grep -q Connected
}

live_wait_connected() {
    live_wait_until "$1" live_connected || live_fail "the bridge did not connect to the simulator"
    live_say "bridge connected (pid $LIVE_BRIDGE_PID)"
}

# live_kill PID SIGNAL: for a child that did not end when asked.
live_kill() {
    kill -"$2" "$1" 2>/dev/null || true
    wait "$1" 2>/dev/null || true
}

# /proc figures of a process: resident memory in kB, CPU time in clock ticks.
live_rss_kb() { awk '/^VmRSS:/ { print $2 }' "/proc/$1/status" 2>/dev/null || echo 0; }
live_cpu_ticks() {
    awk '{ sub(/^.*\) /, ""); print $12 + $13 }' "/proc/$1/stat" 2>/dev/null || echo 0
}

live_stop() {
    ((LIVE_STOPPED)) && return 0
    LIVE_STOPPED=1
    local pid
    [[ -z $LIVE_WAIT_PID ]] || kill "$LIVE_WAIT_PID" 2>/dev/null || true
    for pid in "${LIVE_BUILD_PIDS[@]}"; do kill "$pid" 2>/dev/null || true; done
    if [[ -n $LIVE_BRIDGE_PID ]] && live_running "$LIVE_BRIDGE_PID"; then
        live_probe close TForm1 >/dev/null || true
        if live_wait_exit "$LIVE_BRIDGE_PID" 20; then
            live_say "bridge.exe closed"
        else
            live_say "bridge.exe did not close within 20 s; ended"
            live_kill "$LIVE_BRIDGE_PID" TERM
        fi
    fi
    if [[ -n $LIVE_SIM_PID ]] && live_running "$LIVE_SIM_PID"; then
        wine "$LIVE_MINGW/tools/sim_emulator/sim_emulator.exe" --stop </dev/null >/dev/null 2>&1 ||
            true
        live_wait_exit "$LIVE_SIM_PID" 15 || live_kill "$LIVE_SIM_PID" TERM
        live_say "simulator emulator stopped"
    fi
    if [[ -n $LIVE_BOX_PID ]] && live_running "$LIVE_BOX_PID"; then
        kill -TERM "$LIVE_BOX_PID" 2>/dev/null || true
        live_wait_exit "$LIVE_BOX_PID" 15 || live_kill "$LIVE_BOX_PID" KILL
    fi
    LIVE_PANEL=0
}

# The exit trap: children first, then the Wine session, then the caller's
# live_report (if it defines one).
live_end() {
    local status=$?
    trap '' INT TERM
    live_stop
    if declare -F wine_session_end >/dev/null; then wine_session_end; fi
    if declare -F live_report >/dev/null; then live_report "$status" || true; fi
    [[ -n $LIVE_FAILURE ]] && echo "FAILED: $LIVE_FAILURE (logs in $LIVE_OUT)" >&2
    exit "$status"
}
