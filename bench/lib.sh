# What the end-to-end benchmarks share; sourced by them, never run alone.
#
#   bench_programs BUILD_DIR   sets `stress` and `verify`: the programs in
#                              BUILD_DIR, or YEBSTRESS and YEBVERIFY where set
#   bench_workdir NAME         makes the work folder `work` and goes into it;
#                              every pid added to `pids` is killed on exit
#   free_port                  prints a free TCP port on 127.0.0.1

bench_programs() {
  local build
  build=$(cd "$1" && pwd)
  stress=${YEBSTRESS:-$build/yebstress}
  verify=${YEBVERIFY:-$build/yebverify}
}

bench_cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
}

bench_workdir() {
  work=$(mktemp -d "${TMPDIR:-/tmp}/$1.XXXXXX")
  pids=()
  trap bench_cleanup EXIT
  cd "$work"
}

free_port() {
  python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}
