# shellcheck shell=bash
# A virtual X display for programs that show windows where no one is looking.
# Source it; do not run it. Needs step and die from common.sh.

# Starts Xvfb on the first free display number; sets DISPLAY and XVFB_PID.
# Xvfb stays running after the calling script ends, until xvfb_stop. What it
# says goes to LOG, if given: xvfb_start [LOG]
xvfb_start() {
    command -v Xvfb >/dev/null || die "Xvfb not found: install the xvfb package (scripts/run and scripts/test do this)"
    local number_file
    number_file="$(mktemp)"
    # -displayfd: Xvfb picks a free display and writes its number once it accepts clients.
    setsid Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset \
        3>"$number_file" </dev/null >>"${1:-/dev/null}" 2>&1 &
    XVFB_PID=$!
    local waited
    for ((waited = 0; waited < 100; waited++)); do
        [[ -s $number_file ]] && break
        kill -0 "$XVFB_PID" 2>/dev/null || break
        sleep 0.1
    done
    if [[ ! -s $number_file ]]; then
        rm -f "$number_file"
        kill "$XVFB_PID" 2>/dev/null || true
        die "Xvfb did not start (try running Xvfb -displayfd 1 by hand to see why)"
    fi
    DISPLAY=":$(tr -dc 0-9 <"$number_file")"
    rm -f "$number_file"
    export DISPLAY XVFB_PID
}

# Stops the Xvfb started by xvfb_start (or the one whose PID is given).
xvfb_stop() {
    local pid="${1:-${XVFB_PID:-}}"
    [[ -n $pid ]] || return 0
    # Only a process that is still our Xvfb is stopped.
    if [[ -r /proc/$pid/cmdline ]] && tr '\0' ' ' <"/proc/$pid/cmdline" | grep -q '^Xvfb -displayfd'; then
        kill "$pid" 2>/dev/null || true
        local waited
        for ((waited = 0; waited < 50; waited++)); do
            kill -0 "$pid" 2>/dev/null || break
            sleep 0.1
        done
    fi
    XVFB_PID=
}
