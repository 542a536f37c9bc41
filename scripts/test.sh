#!/usr/bin/env bash
# Installs what the tests need, checks the source format, builds everything with warnings as errors
# and runs every test: in the delivered build, in the one with the TWAIN path switched on, and under
# AddressSanitizer and UndefinedBehaviorSanitizer. Ends with the time each step took.
set -euo pipefail
cd "$(dirname "$0")/.."

step_names=()
step_seconds=()
current_step=
current_start=0
print_times() {
    echo
    echo "Time per step (seconds):"
    for i in "${!step_names[@]}"; do
        printf '  %-24s %6d\n' "${step_names[$i]}" "${step_seconds[$i]}"
    done
    if [ -n "$current_step" ]; then
        printf '  %-24s %6d  FAILED\n' "$current_step" $((SECONDS - current_start))
    fi
    printf '  %-24s %6d\n' "total" "$SECONDS"
}
# Also after a failed step, so a CI log shows how far the run got and how long it took.
trap print_times EXIT

# step NAME COMMAND...: runs one step and records its time; a failing step ends the run.
step() {
    current_step=$1
    current_start=$SECONDS
    shift
    echo "=== $current_step"
    "$@"
    step_names+=("$current_step")
    step_seconds+=($((SECONDS - current_start)))
    current_step=
}

install_deps() { scripts/install-deps.sh test; }

# Every tracked C++ file must be as clang-format writes it; outside a git checkout (an unpacked
# archive) the source folders are searched instead.
check_format() {
    local files
    if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
        mapfile -t files < <(git ls-files '*.cpp' '*.h')
    else
        mapfile -t files < <(find . \( -path ./build -o -path ./.git \) -prune -o -type f \( -name '*.cpp' -o -name '*.h' \) -print |
            sed 's|^\./||' | sort)
    fi
    # A tracked file deleted in the working tree is not checked.
    local present=()
    for file in "${files[@]}"; do
        if [ -f "$file" ]; then present+=("$file"); fi
    done
    files=("${present[@]}")
    if [ ${#files[@]} -eq 0 ]; then
        echo "No C++ files found to check." >&2
        return 1
    fi
    # One clang-format process for all files (one per file takes minutes on a busy machine); its
    # findings name the file first ("FILE:LINE:COLUMN: error: ...").
    local findings
    if ! findings=$(printf '%s\0' "${files[@]}" | xargs -0 clang-format --dry-run -Werror 2>&1); then
        local unformatted
        unformatted=$(sed -n 's/^\(.*\):[0-9]*:[0-9]*: error: .*/\1/p' <<<"$findings" | sort -u)
        if [ -z "$unformatted" ]; then
            echo "$findings" >&2
            echo "clang-format failed." >&2
        else
            echo "These files are not formatted as .clang-format says (fix with clang-format -i FILE...):" >&2
            sed 's/^/  /' <<<"$unformatted" >&2
        fi
        return 1
    fi
    echo "${#files[@]} files formatted as .clang-format says."
}

# build_and_test PRESET: configures, builds everything (warnings as errors) and runs the preset's tests.
build_and_test() {
    cmake --preset "$1" >/dev/null
    cmake --build --preset "$1"
    ctest --preset "$1"
}

step "install dependencies" install_deps
step "format check" check_format
step "build + test" build_and_test test
# Scanning through the imaging library's TWAIN path first; the tests that depend on the switch are
# labelled twain.
step "build + test-twain" build_and_test test-twain
step "build + sanitize" build_and_test sanitize
