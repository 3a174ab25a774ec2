# The Wine settings of the project's tests, in one place: sourced by the
# scripts that run Wine, and read by tests/e2e/harness.py for pytest (which
# sources it with $0 naming this file). scripts/wine-start starts Wine.
# Sourced by hand in bash, BASH_SOURCE names this file ($0 names the shell).
repo=$(cd "$(dirname "${BASH_SOURCE:-$0}")/.." && pwd)
: "${WINEPREFIX:=$repo/build/wineprefix}"
export WINEPREFIX
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64
# `wine` starts 64-bit programs with the 64-bit loader (scripts/wine-bin/wine).
case ":$PATH:" in *":$repo/scripts/wine-bin:"*) ;; *) PATH="$repo/scripts/wine-bin:$PATH" ;; esac
export PATH
