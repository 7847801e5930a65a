#!/usr/bin/env bash
# One real sync of the bundled sample site, end to end:
#   sample database -> fernwick (through the Access stand-in driver) -> fernwick-receiver.
# With a display the window stays open (press "更新数据" for another run; close it to end).
# Without one, it runs unattended (`fernwick --once`): one sync, ended once the three replies are in.
#
# usage: demo/run-demo.sh [BUILD_DIR]     (DEMO_WORK_DIR overrides the working directory)
set -uo pipefail

build_dir=$(cd "${1:-build}" && pwd) || exit 2
work=${DEMO_WORK_DIR:-$build_dir/demo-run}
fernwick=$build_dir/fernwick
receiver=$build_dir/tools/receiver/fernwick-receiver
site=$build_dir/demo/GuardTour_DB.mdb

fail() { echo "demo: FAILED: $*" >&2; exit 1; }
receiver_pid=""
cleanup() { [ -n "$receiver_pid" ] && kill "$receiver_pid" 2>/dev/null; }
trap cleanup EXIT

for f in "$fernwick" "$receiver" "$site"; do
  [ -e "$f" ] || fail "$f is missing; build first (make build)"
done
command -v sqlite3 >/dev/null || fail "sqlite3 is missing (make deps installs it)"

rm -rf "$work" && mkdir -p "$work" || fail "cannot create $work"
cd "$work" || exit 1

# The stand-in driver, registered for this run only.
export ODBCSYSINI=$build_dir/odbc

"$receiver" --port 0 --port-file receiver.port --store received >receiver.out 2>receiver.log &
receiver_pid=$!
for _ in $(seq 100); do [ -s receiver.port ] && break; sleep 0.1; done
[ -s receiver.port ] || fail "the receiver did not start: $(cat receiver.log)"
port=$(cat receiver.port)

cat > sys.ini <<INI
[General]
POINT_HTTPURL=http://127.0.0.1:$port/point
LINE_HTTPURL=http://127.0.0.1:$port/line
PLAN_HTTPURL=http://127.0.0.1:$port/plan
PLANSTATUS_HTTPURL=http://127.0.0.1:$port/planstatus
INI

# The configuration row, set as an installer sets it; the sample site has no password.
printf '\n' | "$fernwick" --set-database "$site" --password-stdin >/dev/null \
  || fail "cannot write fernwick.db"

kinds=(Point Line Plan)
response_file() { ls log/response"$1"Data-*.txt 2>/dev/null | tail -n 1; }
replies_in() {
  for k in "${kinds[@]}"; do [ -s "$(response_file "$k")" ] || return 1; done
}

if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
  echo "demo: the window is open; press 更新数据 for another run, close it to finish."
  "$fernwick" 2>fernwick.err
  status=$?
else
  "$fernwick" --once 2>fernwick.err
  status=$?
fi

[ "$status" -eq 0 ] || fail "fernwick exited with $status: $(tail -5 fernwick.err)"
replies_in || fail "not every kind got a reply (see $work/log)"

rows() { sqlite3 fernwick.db "select count(*) from $1" 2>/dev/null || echo 0; }
tables=(orva_point_data orva_line_data orva_plan_data)
echo
echo "== KELDO-FERNWICK demo =="
printf 'rows read and posted: %s checkpoints, %s route stops, %s plans\n' \
  "$(rows orva_point_data)" "$(rows orva_line_data)" "$(rows orva_plan_data)"
echo "receiver stored $(ls received | wc -l) bodies in $work/received and answered:"
problems=0
for i in "${!kinds[@]}"; do
  f=$(response_file "${kinds[$i]}")
  answer=$(tail -n 1 "$f")
  printf '  %-40s %s\n' "$f" "$answer"
  # The receiver counts the records it took; they must be the rows the snapshot holds.
  count=$(sed -n 's/.*"count":\([0-9]*\).*/\1/p' <<<"$answer")
  [ "$count" = "$(rows "${tables[$i]}")" ] || problems=1
done
grep -q 'sendData skipped' log/fernwicklog-*.txt && problems=1
echo "log:        $(ls "$work"/log/fernwicklog-*.txt)"
echo "snapshots:  $work/fernwick.db (orva_point_data, orva_line_data, orva_plan_data)"
[ "$problems" -eq 0 ] || fail "a kind was not delivered; see the response files and the log above"
echo "demo: OK"
