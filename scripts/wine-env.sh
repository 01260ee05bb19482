# Sourced by the Wine scripts: the prefix, quiet logging and no Mono/Gecko install prompts.
# Expects $build to be the build folder that owns the prefix.
export WINEPREFIX="$build/wineprefix"
# Quiet, but a crash (an unhandled exception, a missing DLL) still says what happened.
# SENTREL_WINEDEBUG replaces it for a diagnosing run (e.g. +timestamp,+tid,fixme+x11drv).
export WINEDEBUG=${SENTREL_WINEDEBUG:--all,err+seh,err+module}
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export WINEARCH=win64

# Creates the prefix once and keeps one wineserver alive for the prefix. The server is started
# with its standard streams closed, so nothing that waits for a test's output waits for it.
wine_ensure_server() {
    mkdir -p "$build"
    # Whatever starts here must not inherit the lock (fd 9), or it would hold it for good.
    (
        flock 9
        # A new prefix is made once, by a server that then ends (wineserver -w waits for it).
        if [ ! -f "$WINEPREFIX/system.reg" ]; then
            wine wineboot -i </dev/null >/dev/null 2>&1 9>&- || true
            wineserver -w </dev/null >/dev/null 2>&1 9>&- || true
        fi
        # A fresh server starts Wine's own services (services.exe, winedevice.exe, ...) with the
        # first program it runs; start them here, with closed streams, rather than under a test.
        if wineserver -p </dev/null >/dev/null 2>&1 9>&-; then
            wine wineboot </dev/null >/dev/null 2>&1 9>&- || true
        fi
    ) 9>"$build/wine.lock"
}

# The private X display of the test session, when it is still alive.
wine_session_display() {
    local file="$build/wine-session"
    [ -f "$file" ] || return 1
    local display pid
    read -r display pid <"$file" || return 1
    kill -0 "$pid" 2>/dev/null || return 1
    echo "$display"
}

# The Linux process id of a program of this prefix whose command line matches the pattern
# (other developers may run the same programs in prefixes of their own); empty when none.
wine_prefix_process() {
    local pid
    for pid in $(pgrep -f "$1" || true); do
        if tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qx "WINEPREFIX=$WINEPREFIX"; then
            echo "$pid"
            return
        fi
    done
}

# The private memory of a Linux process in KB, from the Linux side (Wine does not report it to a
# Windows program); 0 when the process is gone.
linux_private_kb() {
    awk '/^Private_(Clean|Dirty):/ { sum += $2 } END { print sum + 0 }' "/proc/$1/smaps_rollup" 2>/dev/null || echo 0
}

# The benchmarks run with Wine's X11 driver told not to manage windows (in their own prefix
# only). There is no window manager on the private X display, and a managed window that Wine
# hides waits there for the window manager's answer until Wine gives up after 2 s, on the
# hiding thread: the shield's alert would then measure as 2 s stalls of the window thread that
# Windows and a desktop with a window manager do not have.
wine_unmanaged_windows() {
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >/dev/null 2>&1
}
