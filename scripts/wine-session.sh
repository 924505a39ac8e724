# Sourced by scripts that run Windows programs: a temporary Wine prefix of
# their own with a persistent wineserver, and an Xvfb display. The exit trap
# ends only what was started here: the server of this prefix and Xvfb by pid.

WINE_SESSION_DIR=$(mktemp -d /tmp/bridge-wine.XXXXXX)
export WINEPREFIX="$WINE_SESSION_DIR/prefix"
export WINEDEBUG=-all
# No Gecko or Mono prompts; no menu entries on the host for shortcuts (installers make them).
export WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe="
XVFB_PID=""

wine_session_end() {
    WINEPREFIX="$WINE_SESSION_DIR/prefix" wineserver -k 2>/dev/null || true
    WINEPREFIX="$WINE_SESSION_DIR/prefix" wineserver -w 2>/dev/null || true
    [[ -n "$XVFB_PID" ]] && kill "$XVFB_PID" 2>/dev/null || true
    rm -rf "$WINE_SESSION_DIR"
}
trap wine_session_end EXIT

# Xvfb picks a free display and writes its number to the pipe.
exec {displayfd}<> <(:)
Xvfb -displayfd "$displayfd" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
XVFB_PID=$!
read -r -t 30 display_number <&"$displayfd"
exec {displayfd}>&-
export DISPLAY=":$display_number"

# The persistent server first: a server started by wineboot would refuse -p.
mkdir -p "$WINEPREFIX"
wineserver -p >"$WINE_SESSION_DIR/wineserver.log" 2>&1  # it reports on hang-ups of ptys it opened
wineboot -i >/dev/null 2>&1
# A program that crashes prints its backtrace instead of waiting in a dialog.
wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1

# WINE_SESSION_DESKTOP=WxH: every window in a Wine virtual desktop of that
# size, which draws the window frames (Xvfb has no window manager to do it),
# their buttons in the Marlett font.
if [[ -n "${WINE_SESSION_DESKTOP:-}" ]]; then
    # The title bars' buttons are glyphs of the Marlett symbol font; a prefix
    # that lacks it draws their codes ("0 1 r") in another font.
    cp /usr/share/wine/fonts/marlett.ttf "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
    wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
    wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d "$WINE_SESSION_DESKTOP" \
        /f >/dev/null 2>&1
    wineserver -k 2>/dev/null || true
    wineserver -w 2>/dev/null || true
    wineserver -p >>"$WINE_SESSION_DIR/wineserver.log" 2>&1
else
    # Xvfb has no window manager, and Wine would wait two seconds for one
    # each time a window is hidden or destroyed.
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
fi
