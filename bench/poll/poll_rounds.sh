#!/bin/bash
# SPDX-License-Identifier: MIT
# Runs poll_bench builds in alternating rounds: the window shown, the window never shown, and
# the bare exchange loop without a window; with --x11 the shown window, a minimised one and one
# wholly covered by another run on an X server of their own (Xvfb with the openbox window
# manager) instead of offscreen. With
# --idle, rounds of the window running only an empty timer at the poll interval are added (never
# shown, and minimised with --x11): the floor of an event loop waking that often on this machine.
# With --floor, each round also runs a plain window of the form's size whose only work is an empty
# timer at the poll interval, in each of the states the form runs in (poll_bench --floor, taken
# from the last build given, as older builds lack it), and the means end with each build's figure
# less that floor, state by state.
# Prints each round's window-thread processor time, poll rate and wake-ups, then the mean of each
# build. On a shared machine only figures from runs taken side by side compare.
#
# With --together, the builds of a round run at the same time instead of one after another, and
# the means end with the difference of each build from the first, state by state, with its
# standard error: on a shared machine whose load changes from second to second, two builds that
# run together see the same load, so their difference is steadier than their figures. Covered
# rounds run together do not compare: the two windows may lie over each other's cover.
#
#   bench/poll/poll_rounds.sh [--rounds 5] [--seconds 8] [--x11] [--idle] [--floor] [--together] NAME=POLL_BENCH [...]
#
# e.g. bench/poll/poll_rounds.sh --x11 --floor before=/tmp/old/build/bench/poll/poll_bench now=build/bench/poll/poll_bench
set -euo pipefail

rounds=5
seconds=8
x11=false
idle=false
floor=false
together=false
builds=()
while [ $# -gt 0 ]; do
    case "$1" in
    --rounds) rounds=$2; shift 2 ;;
    --seconds) seconds=$2; shift 2 ;;
    --x11) x11=true; shift ;;
    --idle) idle=true; shift ;;
    --floor) floor=true; shift ;;
    --together) together=true; shift ;;
    *=*) builds+=("$1"); shift ;;
    *) echo "poll_rounds.sh: NAME=PATH of a poll_bench expected, got '$1'" >&2; exit 2 ;;
    esac
done
[ ${#builds[@]} -gt 0 ] || { echo "poll_rounds.sh: no poll_bench given" >&2; exit 2; }

modes=(shown hidden bare)
display=
if $x11; then
    work=$(mktemp -d "${TMPDIR:-/tmp}/poll-rounds.XXXXXX")
    pids=()
    cleanup() {
        for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
            kill "${pids[i]}" 2>/dev/null || true
            wait "${pids[i]}" 2>/dev/null || true
        done
        rm -rf "$work"
    }
    trap cleanup EXIT
    Xvfb -displayfd 9 -screen 0 1920x1080x24 -nolisten tcp 9>"$work/display" 2>"$work/xvfb.log" &
    pids+=($!)
    for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
    [ -s "$work/display" ] || { echo "poll_rounds.sh: Xvfb did not start" >&2; exit 1; }
    display=":$(tr -d '[:space:]' <"$work/display")"
    DISPLAY=$display openbox --sm-disable --startup "touch '$work/openbox-ready'" >"$work/openbox.log" 2>&1 &
    pids+=($!)
    for _ in $(seq 100); do [ -e "$work/openbox-ready" ] && break; sleep 0.1; done
    [ -e "$work/openbox-ready" ] || { echo "poll_rounds.sh: openbox did not start" >&2; exit 1; }
    modes=(shown minimised covered hidden bare)
fi
if $idle; then
    modes+=(hidden-idle)
    $x11 && modes+=(minimised-idle)
fi
# The states the form runs in, each with a floor beside it.
states=()
for mode in "${modes[@]}"; do
    case "$mode" in shown | minimised | covered | hidden) states+=("$mode") ;; esac
done
floor_build="${builds[${#builds[@]}-1]}"
if $floor; then
    for state in "${states[@]}"; do modes+=("$state-floor"); done
fi

declare -A sum count value
# The command line that runs `build` (NAME=PATH) in `mode`, in the array `command`.
command_for() {
    local mode=$1 build=$2 flags=() platform=(env QT_QPA_PLATFORM=offscreen) state
    case "$mode" in
    hidden) flags=(--hidden) ;;
    minimised) flags=(--minimised) ;;
    covered) flags=(--covered) ;;
    hidden-idle) flags=(--hidden --idle) ;;
    minimised-idle) flags=(--minimised --idle) ;;
    bare) flags=(--bare) ;;
    shown-floor) flags=(--floor) ;;
    hidden-floor) flags=(--floor --hidden) ;;
    minimised-floor) flags=(--floor --minimised) ;;
    covered-floor) flags=(--floor --covered) ;;
    esac
    state=${mode%-idle}
    state=${state%-floor}
    if [ -n "$display" ] && { [ "$state" = shown ] || [ "$state" = covered ] || [ "$state" = minimised ]; }; then
        platform=(env -u WAYLAND_DISPLAY DISPLAY="$display" QT_QPA_PLATFORM=xcb)
    fi
    command=("${platform[@]}" "${build#*=}" --seconds "$seconds" "${flags[@]}")
}
# Notes the figures of one run from its output in the file `out`.
record() {
    local mode=$1 name=$2 round=$3 out cpu rate wakes
    out=$(cat "$4")
    cpu=$(sed -n 's/.*window thread CPU .*: \([0-9.]*\) % of one core.*/\1/p' <<<"$out")
    rate=$(sed -n 's/.*per second, \([0-9.]*\) % of the timer.*/\1/p' <<<"$out")
    wakes=$(sed -n 's/.*, \([0-9.]*\) per poll step.*/\1/p' <<<"$out")
    printf '%-16s round %d  %-10s CPU %5s %%  poll rate %5s %%  wake-ups per step %s\n' \
        "$mode" "$round" "$name" "$cpu" "$rate" "$wakes"
    if [ -n "$cpu" ]; then
        value[$mode/$name/$round]=$cpu
        sum[$mode/$name]=$(awk -v a="${sum[$mode/$name]:-0}" -v b="$cpu" 'BEGIN { print a + b }')
        count[$mode/$name]=$((${count[$mode/$name]:-0} + 1))
    fi
}
outputs=$(mktemp -d "${TMPDIR:-/tmp}/poll-rounds-out.XXXXXX")
for round in $(seq 1 "$rounds"); do
    for mode in "${modes[@]}"; do
        mode_builds=("${builds[@]}")
        # The floor does not depend on the build: one run a round.
        [ "${mode%-floor}" != "$mode" ] && mode_builds=("floor=${floor_build#*=}")
        index=0
        running=()
        for build in "${mode_builds[@]}"; do
            command_for "$mode" "$build"
            # A build without this mode (an older one) leaves the round blank.
            if $together; then
                { "${command[@]}" 2>/dev/null || true; } >"$outputs/$index" &
                running+=($!)
            else
                { "${command[@]}" 2>/dev/null || true; } >"$outputs/$index"
            fi
            index=$((index + 1))
        done
        # Only the runs of this round: the X server and the window manager go on.
        for pid in "${running[@]}"; do wait "$pid"; done
        index=0
        for build in "${mode_builds[@]}"; do
            record "$mode" "${build%%=*}" "$round" "$outputs/$index"
            index=$((index + 1))
        done
    done
done
rm -rf "$outputs"
mean() { awk -v s="${sum[$1]}" -v n="${count[$1]}" 'BEGIN { printf "%.2f", s / n }'; }
for mode in "${modes[@]}"; do
    mode_builds=("${builds[@]}")
    [ "${mode%-floor}" != "$mode" ] && mode_builds=(floor=)
    for build in "${mode_builds[@]}"; do
        name=${build%%=*}
        if [ "${count[$mode/$name]:-0}" -eq 0 ]; then
            printf 'mean %-16s %-10s no figure (the build lacks this mode)\n' "$mode" "$name"
            continue
        fi
        awk -v s="${sum[$mode/$name]}" -v n="${count[$mode/$name]}" -v m="$mode" -v b="$name" \
            'BEGIN { printf "mean %-16s %-10s CPU %.2f %% of one core over %d rounds\n", m, b, s / n, n }'
    done
done
if $floor; then
    for state in "${states[@]}"; do
        [ "${count[$state-floor/floor]:-0}" -gt 0 ] || continue
        for build in "${builds[@]}"; do
            name=${build%%=*}
            [ "${count[$state/$name]:-0}" -gt 0 ] || continue
            # The same difference within each round, where the two ran side by side.
            differences=
            for round in $(seq 1 "$rounds"); do
                program=${value[$state/$name/$round]:-}
                floor_figure=${value[$state-floor/floor/$round]:-}
                [ -n "$program" ] && [ -n "$floor_figure" ] && differences+=" $(awk -v p="$program" -v f="$floor_figure" 'BEGIN { print p - f }')"
            done
            awk -v p="$(mean "$state/$name")" -v f="$(mean "$state-floor/floor")" -v m="$state" -v b="$name" -v d="$differences" \
                'BEGIN { n = split(d, r, " "); lo = r[1]; hi = r[1]
                         for (i = 2; i <= n; i++) { if (r[i] < lo) lo = r[i]; if (r[i] > hi) hi = r[i] }
                         printf "above the floor %-9s %-10s %+.2f points (%.2f %% less the floor window'"'"'s %.2f %%; rounds %+.2f to %+.2f)\n", m, b, p - f, p, f, lo, hi }'
        done
    done
fi
if $together && [ ${#builds[@]} -gt 1 ]; then
    first=${builds[0]%%=*}
    for mode in "${modes[@]}"; do
        [ "${mode%-floor}" != "$mode" ] && continue
        for build in "${builds[@]:1}"; do
            name=${build%%=*}
            differences=
            for round in $(seq 1 "$rounds"); do
                a=${value[$mode/$first/$round]:-}
                b=${value[$mode/$name/$round]:-}
                [ -n "$a" ] && [ -n "$b" ] && differences+=" $(awk -v a="$a" -v b="$b" 'BEGIN { print b - a }')"
            done
            [ -n "$differences" ] || continue
            awk -v d="$differences" -v m="$mode" -v a="$first" -v b="$name" \
                'BEGIN { n = split(d, r, " "); s = 0; for (i = 1; i <= n; i++) s += r[i]; mean = s / n
                         q = 0; for (i = 1; i <= n; i++) q += (r[i] - mean) ^ 2
                         se = n > 1 ? sqrt(q / (n - 1) / n) : 0
                         printf "side by side %-14s %s less %s: %+.2f points (standard error %.2f, %d rounds)\n", m, b, a, mean, se, n }'
        done
    done
fi
