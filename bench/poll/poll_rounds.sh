#!/bin/bash
# SPDX-License-Identifier: MIT
# Runs poll_bench builds in alternating rounds, the window shown and hidden and the bare exchange
# loop without a window, and prints each round's window-thread processor time, poll rate and
# wake-ups, then the mean of each build.
# On a shared machine only figures from runs taken side by side compare.
#
#   bench/poll/poll_rounds.sh [--rounds 5] [--seconds 8] NAME=POLL_BENCH [NAME=POLL_BENCH ...]
#
# e.g. bench/poll/poll_rounds.sh before=/tmp/old/build/bench/poll/poll_bench now=build/bench/poll/poll_bench
set -euo pipefail

rounds=5
seconds=8
builds=()
while [ $# -gt 0 ]; do
    case "$1" in
    --rounds) rounds=$2; shift 2 ;;
    --seconds) seconds=$2; shift 2 ;;
    *=*) builds+=("$1"); shift ;;
    *) echo "poll_rounds.sh: NAME=PATH of a poll_bench expected, got '$1'" >&2; exit 2 ;;
    esac
done
[ ${#builds[@]} -gt 0 ] || { echo "poll_rounds.sh: no poll_bench given" >&2; exit 2; }

declare -A sum
for round in $(seq 1 "$rounds"); do
    for mode in shown hidden bare; do
        for build in "${builds[@]}"; do
            name=${build%%=*}
            flags=()
            [ "$mode" = hidden ] && flags=(--hidden)
            [ "$mode" = bare ] && flags=(--bare)
            out=$(QT_QPA_PLATFORM=offscreen "${build#*=}" --seconds "$seconds" "${flags[@]}" 2>/dev/null)
            cpu=$(sed -n 's/.*window thread CPU .*: \([0-9.]*\) % of one core.*/\1/p' <<<"$out")
            rate=$(sed -n 's/.*per second, \([0-9.]*\) % of the timer.*/\1/p' <<<"$out")
            wakes=$(sed -n 's/.*, \([0-9.]*\) per poll step.*/\1/p' <<<"$out")
            printf '%-7s round %d  %-10s CPU %5s %%  poll rate %5s %%  wake-ups per step %s\n' \
                "$mode" "$round" "$name" "$cpu" "$rate" "$wakes"
            sum[$mode/$name]=$(awk -v a="${sum[$mode/$name]:-0}" -v b="$cpu" 'BEGIN { print a + b }')
        done
    done
done
for mode in shown hidden bare; do
    for build in "${builds[@]}"; do
        name=${build%%=*}
        awk -v s="${sum[$mode/$name]}" -v n="$rounds" -v m="$mode" -v b="$name" \
            'BEGIN { printf "mean %-7s %-10s CPU %.2f %% of one core over %d rounds\n", m, b, s / n, n }'
    done
done
