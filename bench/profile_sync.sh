#!/bin/sh
# Profiles one sync of fernwick against a generated site and the project's receiver:
# perf when the machine's counters can be read, callgrind otherwise.
#   bench/profile_sync.sh BUILD_DIR [ROWS_PER_KIND=10000]
# Leaves the profile in the printed directory (perf.data or callgrind.out).
set -eu
build=$(cd "${1:?usage: profile_sync.sh BUILD_DIR [ROWS]}" && pwd)
rows=${2:-10000}
work=$(mktemp -d)
echo "working in $work"
export QT_QPA_PLATFORM=offscreen
export ODBCSYSINI="${ODBCSYSINI:-$build/odbc}"

"$build/tools/gtdb/fernwick-gtdb" generate "$work/GuardTour_DB.mdb" "$rows"
sqlite3 "$work/fernwick.db" "create table orva_fernwick_config (PATH text,PASSWD text);
  insert into orva_fernwick_config values ('$work/GuardTour_DB.mdb', '');"

"$build/tools/receiver/fernwick-receiver" --port 0 --store "$work/received" --port-file "$work/port" \
  >/dev/null 2>&1 &
receiver=$!
trap 'kill $receiver 2>/dev/null || true' EXIT
while [ ! -s "$work/port" ]; do sleep 0.1; done
port=$(cat "$work/port")
printf '[General]\nPOINT_HTTPURL=http://127.0.0.1:%s/point\nLINE_HTTPURL=http://127.0.0.1:%s/line\nPLAN_HTTPURL=http://127.0.0.1:%s/plan\n' \
  "$port" "$port" "$port" > "$work/sys.ini"

answers() { cat "$work"/log/response*.txt 2>/dev/null | wc -l; }

cd "$work"
if perf stat -e instructions true >/dev/null 2>&1 && ! perf stat -e instructions true 2>&1 | grep -q "not supported"; then
  perf record -g -o "$work/perf.data" "$build/fernwick" >/dev/null 2>&1 &
else
  valgrind --tool=callgrind --callgrind-out-file="$work/callgrind.out" "$build/fernwick" >/dev/null 2>&1 &
fi
profiled=$!
while [ "$(answers)" -lt 3 ]; do sleep 0.5; done
kill -INT $profiled
wait $profiled || true
cat "$work"/log/response*.txt
echo "profile in $work"
