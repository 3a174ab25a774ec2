# The Wine settings of the project's tests; sourced by the scripts that run Wine.
repo=$(cd "$(dirname "$0")/.." && pwd)
: "${WINEPREFIX:=$repo/build/wineprefix}"
export WINEPREFIX
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64
