#!/usr/bin/env bash
# Runs the README's production-line script as a station would: three simulated encoders, one
# good, one whose calibration ends out of range, one that reports an error; then checks the
# verdicts, the script's exit code and the records it kept.
#
#   production_line_test.sh CLI_DIR SIMULATOR README
set -euo pipefail
cli_dir=$(cd "$1" && pwd) simulator=$(realpath "$2") readme=$3
work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

# The script: the first bash block after the heading.
awk '/^### On a production line/ { section = 1 } section && /^```bash$/ { inside = 1; next }
     inside && /^```$/ { exit } inside { print }' "$readme" >"$work/line"
grep -q 'trevisor-cli commission' "$work/line" || { echo "no commission script in $readme" >&2; exit 1; }

start() { # start NAME OPTIONS...: a simulator behind $work/NAME
    "$simulator" --link "$work/$1" "${@:2}" >/dev/null 2>&1 &
    pids+=($!)
}
start good --serial 100001 --position 1000
start calibration --serial 100002 --selfcal-flags 8
start flagged --serial 100003 --error-flag
for name in good calibration flagged; do
    for _ in $(seq 50); do [ -e "$work/$name" ] && break; sleep 0.1; done
done

status=0
(cd "$work" && PATH="$cli_dir:$PATH" RECORDS="$work/records.jsonl" bash ./line good calibration flagged) \
    >"$work/verdicts" 2>"$work/messages" || status=$?
cat "$work/verdicts"

fail() { echo "production line: $*" >&2; cat "$work/messages" >&2; exit 1; }
[ "$status" -eq 1 ] || fail "the script exited $status, not 1"
grep -qx "$work/good 100001 PASS" "$work/verdicts" || fail "no PASS for the good encoder"
grep -qx "$work/calibration 100002 REJECT: the self-calibration did not succeed" "$work/verdicts" ||
    fail "no calibration verdict"
grep -qx "$work/flagged 100003 REJECT: not part QX105---18M-----, or the encoder reports an error" "$work/verdicts" ||
    fail "no error-flag verdict"
[ "$(wc -l <"$work/verdicts")" -eq 3 ] || fail "not one verdict per port"
# Every failure on standard error names its port.
[ "$(grep -c '^trevisor-cli: error: \(calibration\|flagged\): ' "$work/messages")" -eq 2 ] ||
    fail "the failures do not name their ports"

# Without the program the script must not pass.
status=0
(cd "$work" && PATH="/usr/bin:/bin" RECORDS="$work/none.jsonl" bash ./line good) >/dev/null 2>&1 || status=$?
[ "$status" -ne 0 ] || fail "the script passed although trevisor-cli could not run"
# One record per encoder, the one that passed with its zero.
[ "$(jq -s 'map(select(.event == "commissioned")) | length' "$work/records.jsonl")" -eq 3 ] || fail "not three records"
zero=$(jq -r 'select(.event == "commissioned" and .ok) | .steps[] | select(.step == "zero") | .details.zeroOffsetCounts' \
    "$work/records.jsonl")
[ "$zero" = 1000 ] || fail "the good encoder's zero is '$zero', not 1000"
echo "production line: verdicts, exit code and records as expected"
