#!/usr/bin/env bash
# Puts each mutation of tools/mutation/mutants/ into a copy of the tree, one at a time,
# rebuilds incrementally, runs the test suite and takes the mutation out again. A mutation
# the suite fails on is killed; one it passes with survived. At the end: one line per
# mutation and the score, killed out of killed and survived.
#
#   tools/mutation/run-mutations.sh [patch ...]      (default: every patch in mutants/)
#
# Environment: MUTATION_SOURCE, the git working tree to copy (default: the one holding this
# script), for instance one of an earlier commit to measure its suite against these patches;
# SHARED_DIR, the shared sample files (default: ../shared beside that tree);
# MUTATION_WORK, the copy and its build (default $TMPDIR/fernwick-mutation); MUTATION_KEEP_COPY=1
# runs on the copy an earlier run left, as it is, instead of copying afresh;
# JOBS, compile jobs (default: the number of cores); TEST_JOBS (default: twice that).
# Run it niced on a shared machine: nice -n 10 tools/mutation/run-mutations.sh
#
# Each patch starts with a few lines of its own before the diff: "Mutation:" says what it
# breaks, "Tests first:" names the tests (a ctest regular expression) run before the whole
# suite (their programs are built first), so that a killed mutation is told quickly, and
# "Equivalent:", where present, says
# why the mutation cannot change behaviour; such a patch is not run and not scored.
# A patch that no longer applies to the tree, or a mutation that does not compile, has a
# status of its own and is not scored either.
set -u
# The copy's objects match the working tree's only when the compiler cache leaves the build
# directory out of what it hashes (it puts it in by default for builds with debug info).
export CCACHE_NOHASHDIR=${CCACHE_NOHASHDIR:-1}

here=$(cd "$(dirname "$0")" && pwd)
source_root=$(cd "${MUTATION_SOURCE:-$here/../..}" && pwd)
shared=${SHARED_DIR:-$source_root/../shared}
work=${MUTATION_WORK:-${TMPDIR:-/tmp}/fernwick-mutation}
jobs=${JOBS:-$(nproc 2>/dev/null || echo 2)}
test_jobs=${TEST_JOBS:-$((jobs * 2))}
tree=$work/tree
# The build inside the copy, as build/ inside a working tree: with CCACHE_BASEDIR above both,
# the compiler cache serves the copy from a working tree's own builds.
build=$tree/build
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
# times are those of the copy, so every source is built again at the start of a run (the
# compiler cache makes that cheap) and no object of an earlier run's mutation is kept.
copy_tree() {
    rm -rf "$logs"
    mkdir -p "$tree" "$logs"
    find "$tree" -mindepth 1 -maxdepth 1 ! -name build -exec rm -rf {} +
    git -C "$source_root" ls-files -z --cached --others --exclude-standard \
        | (cd "$source_root" && tar --null -T - -cf - 2>/dev/null) \
        | tar -xmf - -C "$tree"
    # The build finds the shared sample files beside the source tree.
    ln -sfn "$(readlink -f "$shared")" "$work/shared"
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

build_tree() { # log [target ...]
    local log=$1
    shift
    local targets=()
    [ $# -gt 0 ] && targets=(--target "$@")
    cmake --build "$build" -j "$jobs" "${targets[@]}" >>"$log" 2>&1
}

# The named tests' own programs and what they run: most mutations are killed by them, and
# linking every other test first would take most of the time. Names that are no target (a
# test run twice under another name) fall back to building everything.
build_first_tests() { # log names
    local names
    IFS='|' read -r -a names <<<"$2"
    build_tree "$1" fernwick fernwick_access_odbc "${names[@]}" || build_tree "$1"
}

# 0 when the tests pass; the first failure ends the run. With -R or -E and a regular
# expression of test names, only those tests, or all but those. A test that fails is run once
# more, alone, so that a machine too busy for a test's waits does not pass for a kill.
run_tests() { # log [-R|-E names]
    local selection=()
    [ -n "${3:-}" ] && selection=("$2" "^($3)\$")
    ctest --test-dir "$build" --stop-on-failure -j "$test_jobs" "${selection[@]}" >>"$1" 2>&1 \
        || ctest --test-dir "$build" --rerun-failed --stop-on-failure >>"$1" 2>&1
}

if [ -n "${MUTATION_KEEP_COPY:-}" ] && [ -d "$build" ]; then
    rm -rf "$logs"
    mkdir -p "$logs"
else
    copy_tree
fi
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
        first=$(header_field "$patch" 'Tests first')
        if ! build_first_tests "$log" "$first"; then
            status="does not build"
        elif ! run_tests "$log" -R "$first"; then
            status=killed
            killed=$((killed + 1))
        elif ! build_tree "$log"; then
            status="does not build"
        elif ! run_tests "$log" -E "$first"; then
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
