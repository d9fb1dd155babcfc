# Sourced by the test and demo commands: one virtual display (when there is
# no real one) and one wineserver for a whole run, both ended on exit, also
# on Ctrl-C, so that nothing is left running.

KORVANE_XVFB_PID=""

wine_session_start() {
    local prefix="$1"
    export WINEPREFIX="$prefix" WINEARCH=win64 WINEDEBUG=-all
    export LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8
    export KORVANE_WINE_HARNESS=1
    trap wine_session_stop EXIT
    trap 'exit 130' INT TERM

    local managed=Y
    if [[ -z "${DISPLAY:-}" || -n "${KORVANE_FORCE_XVFB:-}" ]]; then
        # A display of our own has no window manager: a window Wine thought
        # managed would be waited for, two seconds each time it is taken
        # away, for a withdrawal nobody acknowledges.
        managed=N
        local fd_file
        fd_file="$(mktemp)"
        Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$fd_file" >/dev/null 2>&1 &
        KORVANE_XVFB_PID=$!
        local waited=0
        while [[ ! -s "$fd_file" && $waited -lt 100 ]]; do
            sleep 0.1
            waited=$((waited + 1))
        done
        [[ -s "$fd_file" ]] || { echo "Xvfb did not start" >&2; rm -f "$fd_file"; exit 1; }
        export DISPLAY=":$(head -1 "$fd_file")"
        rm -f "$fd_file"
    fi
    wineserver -p
    # Wine's own services and desktop start with the first program and keep
    # its standard handles; started here they hold /dev/null rather than a
    # test runner's output pipe, which would otherwise never see its end.
    # That first program tells Wine whether a window manager is there.
    "$(command -v wine64 || echo /usr/lib/wine/wine64)" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed \
        /t REG_SZ /d "$managed" /f </dev/null >/dev/null 2>&1
}

wine_session_stop() {
    wineserver -k 2>/dev/null || true
    wineserver -w 2>/dev/null || true
    if [[ -n "$KORVANE_XVFB_PID" ]]; then
        kill "$KORVANE_XVFB_PID" 2>/dev/null || true
        wait "$KORVANE_XVFB_PID" 2>/dev/null || true
        KORVANE_XVFB_PID=""
    fi
}
