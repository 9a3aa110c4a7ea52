#!/usr/bin/env bash
# The README's two commands on a fresh Debian machine: a new chroot of
# Debian 12 "bookworm" or 13 "trixie" holding only what a newcomer has
# (python3, python3-venv, git), into which the current commit is cloned;
# then, inside it as root, `bash scripts/demo.sh` and `bash scripts/test.sh`
# with their times and the test command's stage table.
#   bash scripts/fresh_machine.sh bookworm|trixie [test.sh arguments]
# QUARNEL_STAGES and QUARNEL_QUICK pass through to the test command, CI too.
# QUARNEL_FRESH_RESUME=1 runs them again in the chroot an earlier run left,
# its clone moved to the current commit (after a fix, say), without the demo.
# The chroot is QUARNEL_CACHE/fresh/RELEASE, made anew from a pristine copy
# (debootstrap, made once, QUARNEL_CACHE/fresh/RELEASE-base) on every run
# and left in place afterwards for a look. Its /proc, /sys, /dev and
# /dev/shm are mounted in a private mount namespace, so that chroots and
# debootstraps of its own work inside it, and go away with the command.
# The whole output also goes to build/fresh/RELEASE.log. Needs root.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib.sh
release=${1:-}
case "$release" in
  bookworm | trixie) shift ;;
  *) echo "usage: bash scripts/fresh_machine.sh bookworm|trixie [test.sh arguments]" >&2; exit 2 ;;
esac
if [ "$(id -u)" -ne 0 ]; then
  echo "fresh machine: needs root (debootstrap and chroot)" >&2; exit 1
fi
if [ -n "$(git status --porcelain --untracked-files=no)" ]; then
  echo "fresh machine: uncommitted changes are not in the clone; testing commit $(git rev-parse --short HEAD)"
fi
need_debian_packages debootstrap
commit=$(git rev-parse HEAD)
repo=$PWD
base=$QUARNEL_CACHE/fresh/$release-base
chroot=$QUARNEL_CACHE/fresh/$release
log=$repo/build/fresh/$release.log
mkdir -p "$(dirname "$log")" "$QUARNEL_CACHE/fresh"
exec > >(tee "$log") 2>&1
start=$SECONDS
step() { echo "fresh $release: [$(duration $((SECONDS - start)))] $*"; }
duration() { printf '%dm%02ds' $(($1 / 60)) $(($1 % 60)); }

if [ ! -f "$base/.debootstrap-done" ]; then
  mirror=$(sed -n 's/^URIs: *//p' /etc/apt/sources.list.d/debian.sources 2>/dev/null | head -n 1)
  [ -n "$mirror" ] || mirror=$(awk '$1 == "deb" { print $2; exit }' /etc/apt/sources.list 2>/dev/null)
  mirror=${mirror:-http://deb.debian.org/debian}
  step "debootstrap $release from $mirror with python3, python3-venv, git (a few minutes, once)"
  rm -rf "$base"
  debootstrap --variant=minbase --include=python3,python3-venv,git,ca-certificates \
    "$release" "$base" "$mirror" >"$QUARNEL_CACHE/fresh/$release-debootstrap.log" 2>&1 ||
    { tail -n 30 "$QUARNEL_CACHE/fresh/$release-debootstrap.log"; exit 1; }
  touch "$base/.debootstrap-done"
fi
resume=0
if [ "${QUARNEL_FRESH_RESUME:-0}" = 1 ] && [ -d "$chroot/root/quarnel/.git" ]; then
  # The chroot of an earlier run, as it was left, its clone moved to the
  # current commit: the stages named in QUARNEL_STAGES run again there
  # (the demo does not), with what that run had installed and made.
  resume=1
  step "resuming in the $release chroot of an earlier run ($chroot)"
else
  step "a fresh copy of the $release chroot in $chroot"
  rm -rf "$chroot"
  cp -a "$base" "$chroot"
  rm -f "$chroot/.debootstrap-done"
fi
# The network as this machine has it: its resolver, and the certificate
# authorities added to its trust store (a proxy's, say) with the variables
# that point TLS clients at that store.
cp /etc/resolv.conf "$chroot/etc/resolv.conf"
if compgen -G "/usr/local/share/ca-certificates/*" >/dev/null; then
  cp -a /usr/local/share/ca-certificates/. "$chroot/usr/local/share/ca-certificates/"
  chroot "$chroot" update-ca-certificates >/dev/null 2>&1
fi
tls_env=()
for name in SSL_CERT_FILE SSL_CERT_DIR PIP_CERT REQUESTS_CA_BUNDLE CURL_CA_BUNDLE; do
  [ -z "${!name:-}" ] || tls_env+=("$name=${!name}")
done
if ((resume)); then
  git -C "$chroot/root/quarnel" fetch -q "$repo" "$commit"
else
  git clone -q --no-checkout "$repo" "$chroot/root/quarnel"
fi
git -C "$chroot/root/quarnel" checkout -q "$commit"
step "cloned $(git log -1 --format='%h %s' "$commit" | cut -c1-100)"

# in_chroot COMMAND...: runs COMMAND as root in the chroot's clone, with a
# clean environment.
in_chroot() {
  TLS_ENV="${tls_env[*]}" unshare --mount --fork bash -c '
    set -e
    root=$1
    shift
    # The root a mount point of its own, as on a machine: the scripts make
    # chroots of their own in private mount namespaces, which needs that.
    mount --bind "$root" "$root"
    mount -t proc proc "$root/proc"
    mount --rbind /sys "$root/sys"
    mount --rbind /dev "$root/dev"
    mount -t tmpfs shm "$root/dev/shm"
    exec chroot "$root" /usr/bin/env -i PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
      HOME=/root LANG=C.UTF-8 TERM="${TERM:-dumb}" ${CI:+CI=$CI} ${QUARNEL_STAGES:+QUARNEL_STAGES=$QUARNEL_STAGES} \
      ${QUARNEL_QUICK:+QUARNEL_QUICK=$QUARNEL_QUICK} $TLS_ENV bash -c "cd /root/quarnel && exec \"\$@\"" _ "$@"' \
    _ "$chroot" "$@"
}
step "$(in_chroot sh -c '. /etc/os-release; echo "$PRETTY_NAME, $(python3 --version)"')"

demo_start=$SECONDS
rc=0
((resume)) || in_chroot bash scripts/demo.sh || rc=$?
demo_took=$((SECONDS - demo_start))
step "bash scripts/demo.sh: exit $rc in $(duration $demo_took)"
((rc == 0)) || exit "$rc"

test_start=$SECONDS
in_chroot bash scripts/test.sh "$@" || rc=$?
test_took=$((SECONDS - test_start))
step "bash scripts/test.sh: exit $rc in $(duration $test_took)"
echo "fresh $release: demo $(duration $demo_took), test $(duration $test_took) (log: $log)"
exit "$rc"
