# Shared by the run and test commands: configure and build, and an X display.
# Source it; it expects $root to be the source folder.

quotarion_build() {
    # Windows build (cross, mingw-w64): the program, its service and the test programs.
    cmake --preset mingw >/dev/null
    cmake --build --preset mingw -j "$(nproc)"
}

quotarion_build_host() {
    # Host build: the pure logic with sanitizers, its tests and fuzzers.
    cmake --preset host >/dev/null
    cmake --build --preset host -j "$(nproc)"
}

# Starts Xvfb on a free display when none is set; sets QUOTARION_XVFB_PID.
quotarion_display() {
    QUOTARION_XVFB_PID=""
    if [ -n "${DISPLAY:-}" ]; then
        return 0
    fi
    local n=90
    while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do
        n=$((n + 1))
    done
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    QUOTARION_XVFB_PID=$!
    export DISPLAY=":$n"
    local i
    for i in $(seq 1 50); do
        [ -e "/tmp/.X11-unix/X$n" ] && return 0
        sleep 0.1
    done
    echo "Xvfb did not start on :$n" >&2
    return 1
}

quotarion_stop_display() {
    if [ -n "${QUOTARION_XVFB_PID:-}" ]; then
        kill "$QUOTARION_XVFB_PID" 2>/dev/null || true
        wait "$QUOTARION_XVFB_PID" 2>/dev/null || true
        QUOTARION_XVFB_PID=""
    fi
}

# Saves a screenshot of the whole display as PNG.
quotarion_screenshot() {
    xwd -root -silent -display "$DISPLAY" | convert xwd:- "png:$1"
}
