#!/usr/bin/env bash
# Benchmarks of the quorvane command, each against a baseline measured in the same round:
#   print1k  `quorvane print` of a 1 KiB file, per job, over one `dd conv=fsync` process per job
#            (ratio = quorvane's time over dd's; target: at most 2.5)
#   batch    100 files in one `quorvane print` over 100 separate calls (ratio = batch jobs/s over
#            separate jobs/s; target: at least 10)
#   big      a 256 MiB job through a write-file port over `cat src > tmp && sync && cp tmp dst &&
#            sync` (ratio = quorvane's time over the baseline's; target: at most 1.3), quiet and
#            with a `yes > /dev/null` competing on each core
#   rss      peak resident memory of `quorvane print` for a 1 MiB and a 1 GiB job (target: flat,
#            under 16 MiB)
# Every figure is given as min/median/max over ROUNDS rounds (default 3).
# Usage: bench/cli-bench.sh [BUILD_DIR] [ROUNDS]   (not part of the test suite: it takes minutes)
# Everything is done in a folder made under $TMPDIR (default /tmp): set TMPDIR to measure on
# another file system. The file system is named in the output, because the figures depend on it:
# ext4 without a journal checks every inode freed in the last minutes each time it makes a file,
# so the small jobs there cost more the more files were deleted just before.
set -euo pipefail
build=$(cd "${1:-$(dirname "$0")/../build}" && pwd)
rounds=${2:-3}
qv_bin=$build/bin/quorvane
[[ -x $qv_bin ]] || { echo "no $qv_bin: build first" >&2; exit 2; }

work=$(mktemp -d "${TMPDIR:-/tmp}/qv-cli-bench-XXXXXX")
competitors=()
cleanup() {
  for pid in "${competitors[@]}"; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
export QUORVANE_PREFIX=$work/prefix TMPDIR=$work/tmp
mkdir -p "$TMPDIR" "$work/base"
qv() { "$qv_bin" "$@"; }
qv install >/dev/null
qv reg add 'HKLM\SYSTEM\CurrentControlSet\Control\Print\Monitors\Quorvane\Bench' /v Script /t REG_SZ \
  /d 'WriteFile: C:\Out\?ID?.prn' /f >/dev/null
qv printer add Bench --port Bench >/dev/null
out=$QUORVANE_PREFIX/drive_c/Out

now() { date +%s.%N; }
calc() { awk "BEGIN { printf \"%.6f\", $* }"; }
# min/median/max of the numbers on standard input
summary() { sort -g | awk '{v[NR]=$1} END {printf "min %.3g  median %.3g  max %.3g", v[1], v[int((NR+1)/2)], v[NR]}'; }

head -c 1024 /dev/urandom >"$work/1k"
mkdir -p "$work/batch"
for i in $(seq 100); do head -c 1024 /dev/urandom >"$work/batch/f$i"; done

# filesystem DIR: the type of the file system DIR lies on, and for ext4 whether it has a journal
# (a journaled ext4 has its journal's entry in /proc/fs/jbd2).
filesystem() {
  local type source device
  type=$(findmnt -no FSTYPE -T "$1" 2>/dev/null | head -n1)
  source=$(findmnt -no SOURCE -T "$1" 2>/dev/null | head -n1)
  device=$(basename "$source")
  if [[ $type == ext4 && -d /proc/fs/ext4/$device ]]; then
    if compgen -G "/proc/fs/jbd2/$device-*" >/dev/null; then type+=" with a journal"; else type+=" without a journal"; fi
  fi
  echo "${type:-unknown} on ${source:-an unknown device}"
}

echo "machine: $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg)"
echo "file system: $(filesystem "$work")"
print1k=() batch=() big_quiet=() big_busy=()
jobs=30
for round in $(seq "$rounds"); do
  # print1k: alternate the two sides job by job
  q=0 d=0
  for i in $(seq $jobs); do
    t=$(now); qv print --printer Bench "$work/1k" >/dev/null; q=$(calc "$q + $(now) - $t")
    t=$(now); dd if="$work/1k" of="$work/base/dd.out" conv=fsync status=none; d=$(calc "$d + $(now) - $t")
  done
  print1k+=("$(calc "$q / $d")")
  echo "round $round print1k: quorvane $(calc "1000 * $q / $jobs") ms/job, dd $(calc "1000 * $d / $jobs") ms/job"

  # batch: 100 files in one call against 100 calls
  t=$(now); for f in "$work"/batch/f*; do qv print --printer Bench "$f" >/dev/null; done; separate=$(calc "$(now) - $t")
  t=$(now); qv print --printer Bench "$work"/batch/f* >/dev/null; together=$(calc "$(now) - $t")
  batch+=("$(calc "$separate / $together")")
  echo "round $round batch: 100 calls $(calc "100 / $separate") jobs/s, one call $(calc "100 / $together") jobs/s"
  rm -f "$out"/*.prn
done

head -c $((256 << 20)) /dev/urandom >"$work/big"
bigrun() {
  local label=$1
  t=$(now); qv print --printer Bench "$work/big" >/dev/null; sync; local q; q=$(calc "$(now) - $t")
  rm -f "$out"/*.prn; sync
  t=$(now); cat "$work/big" >"$work/base/tmp" && sync && cp "$work/base/tmp" "$work/base/dst" && sync
  local b; b=$(calc "$(now) - $t")
  rm -f "$work/base/tmp" "$work/base/dst"; sync
  echo "$label: quorvane $(echo "$q" | cut -c1-6) s, baseline $(echo "$b" | cut -c1-6) s" >&2
  calc "$q / $b"
}
for round in $(seq "$rounds"); do big_quiet+=("$(bigrun "round $round big (quiet)")"); done
for i in $(seq "$(nproc)"); do yes >/dev/null & competitors+=("$!"); done
for round in $(seq "$rounds"); do big_busy+=("$(bigrun "round $round big (yes on each core)")"); done
for pid in "${competitors[@]}"; do kill "$pid"; done
competitors=()
rm -f "$work/big"

rss() {  # peak resident KiB of one print of a file of $1 MiB
  head -c $(($1 << 20)) /dev/zero >"$work/rss"
  /usr/bin/time -f %M -o "$work/rss.kib" "$qv_bin" print --printer Bench "$work/rss" >/dev/null
  rm -f "$work/rss" "$out"/*.prn
  cat "$work/rss.kib"
}
rss1m=$(rss 1) rss1g=$(rss 1024)

echo
echo "print1k ratio (quorvane / dd conv=fsync, target <= 2.5): $(printf '%s\n' "${print1k[@]}" | summary)"
echo "batch ratio (one call / 100 calls in jobs/s, target >= 10): $(printf '%s\n' "${batch[@]}" | summary)"
echo "256 MiB ratio quiet (quorvane / cat+sync+cp+sync, target <= 1.3): $(printf '%s\n' "${big_quiet[@]}" | summary)"
echo "256 MiB ratio with yes on each core (target <= 1.3): $(printf '%s\n' "${big_busy[@]}" | summary)"
echo "peak RSS: 1 MiB job $((rss1m / 1024)) MiB, 1 GiB job $((rss1g / 1024)) MiB (target: flat, < 16 MiB)"
