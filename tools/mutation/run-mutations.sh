#!/usr/bin/env bash
# Puts each mutation of tools/mutation/mutants/ into a copy of the tree, one at a time,
# rebuilds incrementally, runs the test suite and takes the mutation out again. A mutation
# the suite fails on is killed; one it passes with survived. At the end: one line per
# mutation and the score, killed out of killed and survived.
#
#   tools/mutation/run-mutations.sh [patch ...]      (default: every patch in mutants/)
#
# Environment: MUTATION_WORK, the copy and its build (default $TMPDIR/fernwick-mutation);
# JOBS, compile jobs (default: the number of cores); TEST_JOBS (default: twice that).
# Run it niced on a shared machine: nice -n 10 tools/mutation/run-mutations.sh
#
# Each patch starts with a few lines of its own before the diff: "Mutation:" says what it
# breaks, "Tests first:" names the tests (a ctest regular expression) run before the whole
# suite, so that a killed mutation is told quickly, and "Equivalent:", where present, says
# why the mutation cannot change behaviour; such a patch is not run and not scored.
# A patch that no longer applies to the tree, or a mutation that does not compile, has a
# status of its own and is not scored either.
set -u

here=$(cd "$(dirname "$0")" && pwd)
source_root=$(cd "$here/../.." && pwd)
work=${MUTATION_WORK:-${TMPDIR:-/tmp}/fernwick-mutation}
jobs=${JOBS:-$(nproc 2>/dev/null || echo 2)}
test_jobs=${TEST_JOBS:-$((jobs * 2))}
tree=$work/tree
build=$work/build
logs=$work/logs

if [ $# -gt 0 ]; then
    patches=("$@")
else
    patches=("$here"/mutants/*.patch)
fi

header_field() { # patch field
    sed -n "s/^$2: //p;/^--- /q" "$1" | head -n 1
}

# The tracked and new files as they are in the working tree, not as last committed. Their
# times are those of the copy, so every run of the script starts from a fresh build (the
# compiler cache makes that cheap) and never from objects of an earlier run's mutation.
copy_tree() {
    rm -rf "$tree"
    mkdir -p "$tree" "$logs"
    git -C "$source_root" ls-files -z --cached --others --exclude-standard \
        | (cd "$source_root" && tar --null -T - -cf - 2>/dev/null) \
        | tar -xmf - -C "$tree"
    # The build finds the shared sample files beside the source tree.
    ln -sfn "$(readlink -f "$source_root/../shared")" "$work/shared"
}

configure() {
    local launcher=()
    command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
    cmake -S "$tree" -B "$build" "${launcher[@]}" >"$logs/configure.log" 2>&1
}

# Without fuzz: a patch whose lines have moved on applies exactly or not at all.
apply_patch() { # patch [option ...]
    local patch=$1
    shift
    patch -d "$tree" -p1 -F0 -s -f "$@" <"$patch"
}

build_tree() { # log
    cmake --build "$build" -j "$jobs" >"$1" 2>&1
}

# 0 when the tests pass; the first failure ends the run. With -R or -E and a regular
# expression of test names, only those tests, or all but those.
run_tests() { # log [-R|-E names]
    local selection=()
    [ -n "${3:-}" ] && selection=("$2" "^($3)\$")
    ctest --test-dir "$build" --stop-on-failure -j "$test_jobs" "${selection[@]}" >>"$1" 2>&1
}

copy_tree
configure || { echo "configuring the copy failed: $logs/configure.log"; exit 2; }
echo "baseline: building and running the suite on the unmutated tree"
if ! build_tree "$logs/baseline.log" || ! run_tests "$logs/baseline.log"; then
    echo "the suite must pass on the unmutated tree first: $logs/baseline.log"
    exit 2
fi

killed=0
survived=0
results=()
for patch in "${patches[@]}"; do
    name=$(basename "$patch" .patch)
    log=$logs/$name.log
    started=$SECONDS
    equivalent=$(header_field "$patch" Equivalent)
    if [ -n "$equivalent" ]; then
        status="equivalent ($equivalent)"
    elif ! apply_patch "$patch" --dry-run >"$log" 2>&1; then
        status="does not apply"
    else
        apply_patch "$patch" >>"$log" 2>&1
        if ! build_tree "$log"; then
            status="does not build"
        elif first=$(header_field "$patch" 'Tests first'); ! run_tests "$log" -R "$first" \
            || ! run_tests "$log" -E "$first"; then
            status=killed
            killed=$((killed + 1))
        else
            status=survived
            survived=$((survived + 1))
        fi
        apply_patch "$patch" --reverse >>"$log" 2>&1
    fi
    line=$(printf '%-48s %-16s %4ds' "$name" "$status" $((SECONDS - started)))
    echo "$line"
    results+=("$line")
done

# The tree is left as it was, its build with it.
build_tree "$logs/restore.log"

echo
printf '%s\n' "${results[@]}"
scored=$((killed + survived))
if [ "$scored" -gt 0 ]; then
    echo "score: $killed killed of $scored ($((100 * killed / scored))%), $survived survived"
fi
echo "logs: $logs"
[ "$survived" -eq 0 ]
