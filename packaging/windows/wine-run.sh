#!/usr/bin/env bash
# Runs the Windows build under Wine as the tests run a program: `wine-run.sh ARGS…` is
# FERNWICK_WINDOWS_EXE ARGS… in the prefix WINEPREFIX, with Wine's loader FERNWICK_WINE, and
# Wine's own chatter left out. exec keeps the process id, so a signal reaches Wine itself.
# Wine's unixODBC is the machine's of Wine's bitness, with a driver list of its own.
export WINEDEBUG=${WINEDEBUG:--all} ODBCSYSINI=${FERNWICK_WINDOWS_ODBCSYSINI:-$ODBCSYSINI}
exec "$FERNWICK_WINE" "$FERNWICK_WINDOWS_EXE" "$@"
