#!/bin/sh
# Runs a Windows program under Wine with a time limit, so that a program that
# hangs (or spins, as the windows platform does without an X display) can
# never stall a build or a test run: WINE_TIMEOUT seconds, which
# scripts/windows-env.sh sets with the other Wine settings.
exec timeout --kill-after=10 "${WINE_TIMEOUT:?scripts/windows-env.sh sets it}" wine "$@"
