#!/usr/bin/env bash
# The emulated test machine's image, for machines whose kernel refuses 32-bit code: Debian 12 with
# its own amd64 kernel and 32-bit Wine, from Debian's packages. Built once into <dir> and reused
# until this recipe (this script, the guest's init) changes; a build costs about three minutes,
# mostly downloads.
#   image.sh <dir>     leaves <dir>/vmlinuz, <dir>/initrd.img, <dir>/disk.img, <dir>/recipe
# Run as root (debootstrap, chroot). Leaves no mounts behind, also when it fails.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
out=${1:?usage: image.sh <dir>}
mirror=${QX_VM_MIRROR:-http://deb.debian.org/debian}
# ctest runs the suite; the rest is what the test environment starts (scripts/wine.sh,
# tests/support/testenv.sh, whose standard user useradd makes). bookworm main alone: a mirror's security suite has been seen serving
# a broken i386 index, and the guest needs only a consistent set, not the latest.
packages=(linux-image-amd64 initramfs-tools kmod
  wine wine32:i386 wine64 libwine:i386 libgnutls30:i386 fonts-wine
  xvfb xauth python3 fonts-nanum locales procps iproute2 cmake passwd)

recipe=$( { cat "$0" "$here/init.sh"; echo "$mirror"; } | sha256sum | cut -c1-16)
if [ -f "$out/recipe" ] && [ "$(cat "$out/recipe")" = "$recipe" ] \
   && [ -f "$out/disk.img" ] && [ -f "$out/vmlinuz" ] && [ -f "$out/initrd.img" ]; then
  echo "vm-image: reusing $out (recipe $recipe)"
  exit 0
fi
[ "$(id -u)" = 0 ] || { echo "vm-image: building the image needs root (debootstrap, chroot)" >&2; exit 1; }
for tool in debootstrap:debootstrap qemu-system-x86_64:qemu-system-x86 mkfs.ext4:e2fsprogs; do
  command -v "${tool%%:*}" >/dev/null || missing+=("${tool#*:}")
done
if [ -n "${missing[*]:-}" ]; then
  apt-get update -qq || true  # a mirror mid-sync fails an index the emulator does not need
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

started=$(date +%s)
# The tree is made under a plain path of its own: debootstrap fails in a folder whose path holds
# blanks (a checkout under any name builds the image).
root=$(mktemp -d /var/tmp/qx-vm-root.XXXXXX)
unmount_all() {
  # Deepest first; lazily when something still holds one.
  local tree=$1 m
  findmnt -rn -o TARGET | { grep -F "$tree/" || true; } | sort -r | while IFS= read -r m; do
    umount "$m" 2>/dev/null || umount -l "$m" || true
  done
}
trap 'unmount_all "$root"; rm -rf --one-file-system "$root"' EXIT
trap 'exit 130' INT TERM
# A build that was killed may have left the host's /dev bound inside the old tree (which earlier
# builds made in <dir>/root): never delete through a mount.
unmount_all "$out/root"
rm -rf --one-file-system "$out"
mkdir -p "$out"

echo "vm-image: debootstrap bookworm from $mirror"
debootstrap --variant=minbase --arch=amd64 bookworm "$root" "$mirror" >"$out/debootstrap.log" 2>&1 \
  || { tail -n 20 "$out/debootstrap.log" >&2; exit 1; }

echo "deb $mirror bookworm main" >"$root/etc/apt/sources.list"
# No daemons start in the chroot; no documentation in the image.
printf '#!/bin/sh\nexit 101\n' >"$root/usr/sbin/policy-rc.d"
chmod +x "$root/usr/sbin/policy-rc.d"
printf 'path-exclude /usr/share/doc/*\npath-exclude /usr/share/man/*\npath-exclude /usr/share/info/*\n' \
  >"$root/etc/dpkg/dpkg.cfg.d/01-qx-nodoc"
# A small initrd: the kernel needs only the disk and its file system to find the root.
mkdir -p "$root/etc/initramfs-tools/conf.d"
printf 'MODULES=list\n' >"$root/etc/initramfs-tools/conf.d/qx"
printf 'virtio_pci\nvirtio_blk\next4\n' >"$root/etc/initramfs-tools/modules"
cat >"$root/etc/hosts" <<HOSTS
127.0.0.1 localhost
127.0.1.1 qxvm
::1 localhost ip6-localhost ip6-loopback
HOSTS
echo qxvm >"$root/etc/hostname"
install -m 755 "$here/init.sh" "$root/sbin/qxinit"

mount -t proc proc "$root/proc"
mount -t sysfs sys "$root/sys"
mount --bind /dev "$root/dev"
in_root() { chroot "$root" env DEBIAN_FRONTEND=noninteractive PATH=/usr/sbin:/usr/bin:/sbin:/bin "$@"; }
in_root dpkg --add-architecture i386
echo "vm-image: installing ${#packages[@]} packages"
in_root apt-get update -qq >"$out/apt.log" 2>&1 || { tail -n 20 "$out/apt.log" >&2; exit 1; }
# Every package is unpacked here; the configuration steps that run 32-bit programs fail on this
# kernel and are finished inside the machine on its first boot (below).
in_root apt-get install -y -qq --no-install-recommends -o Dpkg::Options::=--force-confold \
  "${packages[@]}" >>"$out/apt.log" 2>&1 || echo "vm-image: some packages wait for their first boot to configure"
for p in "${packages[@]}"; do
  in_root dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -Eq ' (installed|unpacked|half-configured)$' \
    || { echo "vm-image: $p was not installed" >&2; tail -n 30 "$out/apt.log" >&2; exit 1; }
done
in_root apt-get clean
kernel=$(cd "$root/boot" && ls vmlinuz-* | sort -V | tail -n 1)
version=${kernel#vmlinuz-}
[ -f "$root/boot/initrd.img-$version" ] || in_root update-initramfs -c -k "$version" >>"$out/apt.log" 2>&1
cp "$root/boot/$kernel" "$out/vmlinuz"
cp "$root/boot/initrd.img-$version" "$out/initrd.img"
unmount_all "$root"

# The disk: the tree plus room for what a run writes (prefixes, logs; -snapshot discards them).
size=$(( $(du -sm "$root" | cut -f1) + 3072 ))
mkfs.ext4 -q -L qxroot -d "$root" "$out/disk.img" "${size}M"

echo "vm-image: first boot, to finish the packages' configuration"
printf 'dpkg --configure -a >/var/log/qx-configure.log 2>&1 || { tail -n 30 /var/log/qx-configure.log; exit 1; }\n' \
  >"$out/configure.sh"
QX_VM_PERSIST=1 bash "$here/run.sh" "$out" 900 "$out/configure.sh"
echo "$recipe" >"$out/recipe"
echo "vm-image: ready in $(( $(date +%s) - started )) s: $out ($(du -sm "$out/disk.img" | cut -f1) MiB used)"
