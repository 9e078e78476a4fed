#!/usr/bin/env bash
# Proof that the README's two commands work on a bare Debian 12: builds a
# minimal bookworm tree with debootstrap (no make, cmake or compiler; nothing
# but bash and apt), copies a clone of the current commit into it and runs
# the two commands there as root, with a clean environment. Prints the
# transcript and the time of each command, and keeps the transcript in
# $ROOT.log.
#   sudo bench/fresh_debian.sh [ROOT]      (default ROOT: /tmp/slscan-fresh)
# Environment: MIRROR (default http://deb.debian.org/debian); BASE_TAR, a tar
# of an earlier debootstrap tree to start from instead (made when missing);
# FRESH_COMMANDS, the commands to run (default: the README's two).
# Needs root, debootstrap and git on the host, and a reachable Debian mirror.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
root=${1:-/tmp/slscan-fresh}
mirror=${MIRROR:-http://deb.debian.org/debian}
log=$root.log
commands=${FRESH_COMMANDS:-"tools/sample.sh
make test"}

if [ "$(id -u)" -ne 0 ]; then
  echo "fresh_debian: needs root (debootstrap and chroot)" >&2
  exit 2
fi
case "$root" in
  "$repo"|"$repo"/*) echo "fresh_debian: $root lies inside the repository" >&2; exit 2 ;;
esac
command -v debootstrap > /dev/null || { echo "fresh_debian: apt-get install debootstrap" >&2; exit 2; }

cleanup() {
  for m in proc dev; do
    mountpoint -q "$root/$m" && umount -l "$root/$m"
  done
  return 0
}
trap cleanup EXIT

cleanup
rm -rf "$root"
mkdir -p "$root"
exec > >(tee "$log") 2>&1
start=$(date +%s)
if [ -n "${BASE_TAR:-}" ] && [ -f "$BASE_TAR" ]; then
  echo "== bookworm tree from $BASE_TAR"
  tar -C "$root" -xf "$BASE_TAR"
else
  echo "== debootstrap --variant=minbase bookworm $root $mirror"
  debootstrap --variant=minbase bookworm "$root" "$mirror" > "$root.debootstrap.log"
  [ -n "${BASE_TAR:-}" ] && tar -C "$root" -cf "$BASE_TAR" .
fi
echo "debootstrap: $(( $(date +%s) - start )) s"

git clone -q --no-local "$repo" "$root/root/slscan"
git -C "$root/root/slscan" checkout -q "$(git -C "$repo" rev-parse HEAD)"
echo "== clone of $(git -C "$root/root/slscan" log --oneline -1)"
cp /etc/resolv.conf "$root/etc/resolv.conf"
mount -t proc proc "$root/proc"
# /dev with its /dev/pts (apt logs through a terminal there); unmounts
# inside stay inside.
mount --rbind /dev "$root/dev"
mount --make-rslave "$root/dev"

# What the tree holds before: no build tools.
chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin bash -c \
  'for t in make cmake g++ c++ sudo; do printf "%s: %s\n" "$t" "$(command -v $t || echo absent)"; done'

status=0
while IFS= read -r command; do
  [ -n "$command" ] || continue
  echo
  echo "== # $command"
  t0=$(date +%s)
  chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root \
    bash -c "cd /root/slscan && $command" || status=$?
  echo "== '$command': status $status, $(( $(date +%s) - t0 )) s"
  [ "$status" -eq 0 ] || break
done <<< "$commands"
echo "== total $(( $(date +%s) - start )) s, status $status"
exit "$status"
