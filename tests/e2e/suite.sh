# shellcheck shell=bash
# Shared by the end-to-end tests: the suite's display, and one run of the
# self-test under Wine against a board. Source it after setting
# display_env and build; status 77 where this architecture cannot run here.
: "${display_env:?set display_env before sourcing suite.sh}" "${build:?set build before sourcing suite.sh}"
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
# shellcheck source=scripts/lib/common.sh
source "$root/scripts/lib/common.sh"
"$root/scripts/lib/wine-run" --check || exit
[[ -f $display_env ]] || die "no virtual display: run the whole suite (ctest -L e2e) so that e2e.session.start runs first"
# shellcheck source=/dev/null
source "$display_env"
export DISPLAY
"$root/scripts/lib/with-board" --check || exit
# The kit as a vendor may unpack it: in a folder whose name has a space and a
# letter outside ASCII.
kit="$(dirname "$display_env")/kit ü"
copy_kit "$build" "$kit"

# run_selftest BOARD|--no-wmi|--machine [SELF-TEST ARGUMENTS...]: prints what
# the self-test wrote, and sets `output` to it and `status` to its exit status.
# --no-wmi switches Wine's WMI off under a board of 41B, so that a WMI that
# still answered would be caught. Its report is kept with the run's evidence
# (keep-evidence), where there is a folder for it.
selftest_runs=0
run_selftest() {
    local board="$1" runner=()
    shift
    if [[ -n ${FLASHGATE_EVIDENCE:-} ]]; then
        selftest_runs=$((selftest_runs + 1))
        set -- "$@" --report "$(windows_path "$FLASHGATE_EVIDENCE/report-$selftest_runs.txt")"
    fi
    case "$board" in
    --machine) ;;
    --no-wmi) runner=("$root/scripts/lib/with-board" 41B env FLASHGATE_NO_WMI=1) ;;
    *) runner=("$root/scripts/lib/with-board" "$board") ;;
    esac
    status=0
    # shellcheck disable=SC2034  # status is read by the scripts that source this file
    output="$("${runner[@]}" "$root/scripts/lib/wine-run" "$kit/flashgate-selftest.exe" "$@")" || status=$?
    output="${output//$'\r'/}"
    printf '%s\n' "$output"
}
