# Sourced by the project's scripts: the project-local Wine prefix and its server.
# Expects PINEWICK_BUILD_ROOT to be set to the build tree's root.

export WINEPREFIX="$PINEWICK_BUILD_ROOT/wine"
export WINEDEBUG="${WINEDEBUG:--all}"
# No Mono or Gecko prompts, and no debugger started after a crash.
export WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"

# Creates and configures the prefix once; later runs reuse it.
pinewick_prepare_prefix() {
    local marker="$WINEPREFIX/.pinewick-ready"
    if [ -f "$marker" ]; then
        return 0
    fi
    rm -rf "$WINEPREFIX"
    mkdir -p "$PINEWICK_BUILD_ROOT"
    wine wineboot -i </dev/null >/dev/null 2>&1
    # An empty AeDebug debugger: a crash hands back to the fault path, no winedbg.
    wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' \
        /v Debugger /t REG_SZ /d '' /f </dev/null >/dev/null 2>&1
    wineserver -w
    touch "$marker"
}

# A persistent server with nothing inherited: Wine's services must not hold the caller's
# pipes open, or a reader of them (ctest) waits forever.
pinewick_start_server() {
    setsid wineserver -p </dev/null >/dev/null 2>&1 &
    wine wineboot </dev/null >/dev/null 2>&1
}

pinewick_stop_server() {
    wineserver -k >/dev/null 2>&1 || true
}
