#!/bin/sh
# Runs a Windows test program with QUORVANE_NTFS_FOLDER naming (as Wine's
# drive Z: sees it) a folder on a fresh NTFS image, mounted by ntfs-3g with the
# Windows stream interface so that path:z is the stream z. Exit 77 (skipped)
# where FUSE or NTFS images are not available.
#   with-ntfs.sh COMMAND...
skip() { echo "skipped: $*"; exit 77; }
command -v mkntfs >/dev/null 2>&1 || PATH=$PATH:/usr/sbin:/sbin
command -v mkntfs >/dev/null 2>&1 && command -v ntfs-3g >/dev/null 2>&1 || skip "no ntfs-3g"
[ -e /dev/fuse ] || skip "no /dev/fuse"
work=$(mktemp -d) || exit 1
work=$(cd "$work" && pwd -P)
truncate -s 16M "$work/ntfs.img" && mkntfs -F -Q "$work/ntfs.img" >/dev/null 2>&1 || { rm -rf "$work"; skip "mkntfs failed"; }
mkdir "$work/m"
ntfs-3g -o streams_interface=windows "$work/ntfs.img" "$work/m" 2>/dev/null || { rm -rf "$work"; skip "cannot mount an NTFS image here"; }
mkdir "$work/m/files"
QUORVANE_NTFS_FOLDER=$(printf 'Z:%s' "$work/m/files" | tr / '\\')
export QUORVANE_NTFS_FOLDER
"$@"
status=$?
umount "$work/m"
rm -rf "$work"
exit $status
