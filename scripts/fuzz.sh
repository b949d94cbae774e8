#!/usr/bin/env bash
# Builds the fuzz targets with clang's libFuzzer (address and undefined-behaviour checks) into
# build-fuzz/ and runs each for a while on a corpus seeded from the test data.
#   bash scripts/fuzz.sh [seconds per target, default 60] [target ...]
# 0 seconds only replays the corpus once (CI does, so the targets keep building and the seeds pass).
# Findings land in build-fuzz/findings/<target>/; the corpora grow in build-fuzz/corpus/<target>/.
# FUZZ_MAX_LEN (bytes, default 262144) bounds the inputs, FUZZ_TIMEOUT (seconds, default 10) what one
# input may take.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
shift || true
bash scripts/install-deps.sh
if ! command -v clang++ >/dev/null || ! ls /usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a >/dev/null 2>&1; then
  if [ "$(id -u)" -eq 0 ]; then SUDO=(); else SUDO=(sudo); fi
  export DEBIAN_FRONTEND=noninteractive
  "${SUDO[@]}" apt-get update -q
  "${SUDO[@]}" apt-get install -y -q --no-install-recommends clang libclang-rt-14-dev
fi
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLIR_FUZZ=ON \
  -DBUILD_TESTING=OFF >/dev/null
cmake --build build-fuzz --target fuzz -j"$(nproc)"

seed() { # target, then files or folders whose files seed it
  local dir=build-fuzz/corpus/$1
  mkdir -p "$dir"
  shift
  for s in "$@"; do
    if [ -d "$s" ]; then find "$s" -maxdepth 1 -type f -exec cp -n {} "$dir/" \; ; else cp -n "$s" "$dir/"; fi
  done
}
seed fuzz_forecast tests/data/fuzz/forecast.xml tests/data/exchange/*.xml
seed fuzz_nsi tests/data/fuzz/nsi.xml tests/data/fuzz/nsi-doctype-after-fault.xml tests/data/exchange/doctype-entity.xml
seed fuzz_comments tests/data/fuzz/comments.xml
seed fuzz_mail tests/data/mail/*.eml
seed fuzz_zip tests/data/zip/*.zip tests/data/mail/nsi-2026.zip
seed fuzz_reportdef resources/reports/*.rpt tests/data/reports/*.rpt
seed fuzz_pop3 tests/data/fuzz/pop3-session.txt

targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(fuzz_forecast fuzz_nsi fuzz_comments fuzz_mail fuzz_zip fuzz_reportdef fuzz_pop3)
failed=0
for t in "${targets[@]}"; do
  mkdir -p "build-fuzz/findings/$t"
  echo "== $t: ${seconds} s"
  if [ "$seconds" -gt 0 ]; then limit=(-max_total_time="$seconds"); else limit=(-runs=0); fi
  if ! ASAN_OPTIONS=detect_leaks=1 build-fuzz/bin/"$t" "${limit[@]}" -timeout="${FUZZ_TIMEOUT:-10}" \
      -rss_limit_mb=2048 -max_len="${FUZZ_MAX_LEN:-262144}" -artifact_prefix="build-fuzz/findings/$t/" \
      "build-fuzz/corpus/$t" 2>"build-fuzz/$t.log"; then
    echo "   FAILED: see build-fuzz/$t.log and build-fuzz/findings/$t/"
    failed=1
  else
    grep -E '^Done|#[0-9]+.*DONE' "build-fuzz/$t.log" | tail -n 1 || true
  fi
done
exit $failed
