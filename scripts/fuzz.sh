#!/usr/bin/env bash
# Runs the fuzz targets of fuzz/ for SECONDS each, two at a time, and prints what each did:
#   bash scripts/fuzz.sh SECONDS [TARGET...]     (TARGET as in fuzz/corpus/: pagestep, profile, ...)
# Builds with the "fuzz" preset (clang, libFuzzer, address and undefined-behaviour sanitizers).
# Each target starts from a copy of its seeds in build/fuzz/work/corpus/<name>/ (the repository is
# never written); what a target finds goes to build/fuzz/crashes/<name>/, its output to
# build/fuzz/work/logs/<name>.log. Exits non-zero when any target found a crash.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
usage="usage: $0 SECONDS [TARGET...]"
seconds=${1:?$usage}
[[ $seconds =~ ^[1-9][0-9]*$ ]] || { echo "$usage" >&2; exit 2; }
shift

cd "$root"
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    for folder in fuzz/corpus/*/; do
        targets+=("$(basename "$folder")")
    done
fi
for target in "${targets[@]}"; do
    [ -d "fuzz/corpus/$target" ] || { echo "no fuzz target named $target (see fuzz/corpus/)" >&2; exit 2; }
done

bash scripts/install-deps.sh fuzz
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --target pd_fuzz

work=build/fuzz/work
mkdir -p "$work/logs"
run_target() {
    local target=$1
    local corpus="$work/corpus/$target" crashes="build/fuzz/crashes/$target"
    mkdir -p "$corpus"
    rm -rf "$crashes"
    mkdir -p "$crashes"
    local seed
    for seed in "fuzz/corpus/$target"/*; do
        [ -e "$corpus/$(basename "$seed")" ] || cp "$seed" "$corpus/"
    done
    # A run that stalls for 10 s counts as a hang; libFuzzer stops at the first finding.
    "build/fuzz/fuzz/${target}_fuzz" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
        -artifact_prefix="$crashes/" "$corpus" >"$work/logs/$target.log" 2>&1 || true
}

echo "Fuzzing ${targets[*]} for $seconds s each, two at a time"
running=0
for target in "${targets[@]}"; do
    if [ "$running" -ge 2 ]; then
        wait -n
        running=$((running - 1))
    fi
    run_target "$target" &
    running=$((running + 1))
done
wait

found=0
printf '\n%-15s %8s %12s %8s %8s\n' target seconds executions corpus crashes
for target in "${targets[@]}"; do
    log="$work/logs/$target.log"
    executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    took=$(sed -n 's/^Done [0-9]* runs in \([0-9]*\) second.*/\1/p' "$log" | tail -1)
    corpus=$(find "$work/corpus/$target" -type f | wc -l)
    mapfile -t artifacts < <(find "build/fuzz/crashes/$target" -type f | sort)
    printf '%-15s %8s %12s %8s %8s\n' "$target" "${took:-?}" "${executions:-?}" "$corpus" "${#artifacts[@]}"
    for artifact in "${artifacts[@]}"; do
        printf '    %s\n' "$artifact"
    done
    if [ ${#artifacts[@]} -gt 0 ] || [ -z "$executions" ]; then
        found=1
    fi
done
[ "$found" -eq 0 ] || echo "Findings: see the artifacts above and the logs in $work/logs/" >&2
exit "$found"
