# Sourced by scripts that run the box emulator (tools/box_emulator) next to
# the bridge under Wine. Functions:
#
#   box_emulator_register_port COM PATH
#       Makes Wine keep COM<COM> pointing at PATH across wineserver restarts
#       (registry HKLM\Software\Wine\Ports), in the prefix $WINEPREFIX.
#   box_emulator_start OUTPUT ARGS...
#       Starts the emulator with ARGS in the background, its output going to
#       the file OUTPUT, and waits (up to 30 s) for its "ready" line. Sets
#       BOX_EMULATOR_PID, BOX_EMULATOR_PORT (the pty or device) and
#       BOX_EMULATOR_READY (the whole line). Returns 1 if it did not get ready.
#   box_emulator_stop
#       Ends that emulator (SIGTERM, by pid) and waits for it; returns its
#       exit status. Its summary then ends OUTPUT.
#   box_emulator_wait
#       Waits for that emulator to end by itself (script "quit" or
#       --duration); returns its exit status.
#
# Example, with the emulator as the bridge's COM1:
#   source scripts/box-emulator.sh
#   box_emulator_start "$dir/box.out" --pty --wine-prefix "$WINEPREFIX" --com 1 \
#       --plain --log "$dir/frames.log" --script demo.box
#   box_emulator_register_port 1 "$WINEPREFIX/box-emulator/com1"

BOX_EMULATOR="${BOX_EMULATOR:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/build/linux/tools/box_emulator/box_emulator}"
BOX_EMULATOR_PID=""
BOX_EMULATOR_PORT=""
BOX_EMULATOR_READY=""
BOX_EMULATOR_DRAIN_PID=""

box_emulator_register_port() {
    local com=$1 path=$2
    wine reg add 'HKLM\Software\Wine\Ports' /v "COM$com" /t REG_SZ /d "$path" /f >/dev/null
}

box_emulator_start() {
    local output=$1
    shift
    local fifo line="" fd
    fifo=$(mktemp -u "${TMPDIR:-/tmp}/box-emulator.XXXXXX")
    mkfifo "$fifo"
    "$BOX_EMULATOR" "$@" < /dev/null > "$fifo" 2>&1 &
    BOX_EMULATOR_PID=$!
    exec {fd}< "$fifo"
    rm -f "$fifo"
    : > "$output"
    while IFS= read -r -t 30 -u "$fd" line; do
        printf '%s\n' "$line" >> "$output"
        [[ $line == "ready "* ]] && break
    done
    # The rest of the output goes to the file until the emulator ends.
    cat <&"$fd" >> "$output" &
    BOX_EMULATOR_DRAIN_PID=$!
    exec {fd}<&-
    if [[ $line != "ready "* ]]; then
        echo "box emulator did not get ready; see $output" >&2
        return 1
    fi
    BOX_EMULATOR_READY=$line
    BOX_EMULATOR_PORT=${line#ready port=}
    BOX_EMULATOR_PORT=${BOX_EMULATOR_PORT%% *}
}

box_emulator_wait() {
    local status=0
    wait "$BOX_EMULATOR_PID" || status=$?
    wait "$BOX_EMULATOR_DRAIN_PID" 2>/dev/null || true
    BOX_EMULATOR_PID=""
    return "$status"
}

box_emulator_stop() {
    [[ -n $BOX_EMULATOR_PID ]] || return 0
    kill -TERM "$BOX_EMULATOR_PID" 2>/dev/null || true
    box_emulator_wait
}
