# Shared by the demo scripts: their options and the build they run.
# Sourced, not run. Sets `out` (where the demo writes), `build` (the build
# folder) and `rebuild`, then `demo_programs TARGET...` makes sure the
# programs exist and says which build they come from.

demo_usage() {
  cat <<USAGE
Usage: $0 [--out DIR] [--build DIR] [--rebuild]
  --out DIR    write the demo's files under DIR (default: $1)
  --build DIR  the build folder to take the programs from (default: build)
  --rebuild    build the programs again even when the build folder has them
USAGE
}

demo_options() {
  local default_out=$1
  shift
  out=$default_out
  build=build
  rebuild=0
  while [ $# -gt 0 ]; do
    case "$1" in
      --out) out=${2:?--out needs a folder}; shift 2 ;;
      --build) build=${2:?--build needs a folder}; shift 2 ;;
      --rebuild) rebuild=1; shift ;;
      -h | --help) demo_usage "$default_out"; exit 0 ;;
      *) echo "unknown option: $1" >&2; demo_usage "$default_out" >&2; exit 2 ;;
    esac
  done
}

# demo_programs TARGET=PATH ...: PATH relative to the build folder.
demo_programs() {
  local missing=0 spec
  for spec in "$@"; do
    [ -x "$build/${spec#*=}" ] || missing=1
  done
  if [ "$rebuild" = 1 ] || [ "$missing" = 1 ]; then
    echo "== Building ${*%%=*} in $build/"
    cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    cmake --build "$build" -j"$(nproc)" --target "${@%%=*}"
  else
    local first=$build/${1#*=}
    echo "== Using the existing build in $build/ (built $(date -r "$first" '+%Y-%m-%d %H:%M'); --rebuild builds it again)"
  fi
}
