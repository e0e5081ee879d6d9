#!/bin/sh
# The digest the Linux build keeps in user.z is the NTFS stream z itself: on an
# NTFS image mounted with ntfs-3g, the same 64 bytes read as the attribute and,
# with the Windows stream interface, as file:z. Exit 77 (skipped) where NTFS
# images cannot be made or mounted.
#   ntfs3g_interop.sh QUORVANE
set -u
quorvane=$1
skip() { echo "skipped: $*"; exit 77; }
fail() { echo "FAILED: $*"; exit 1; }

command -v mkntfs >/dev/null 2>&1 || PATH=$PATH:/usr/sbin:/sbin
command -v mkntfs >/dev/null 2>&1 && command -v ntfs-3g >/dev/null 2>&1 || skip "no ntfs-3g"
[ -e /dev/fuse ] || skip "no /dev/fuse"
work=$(mktemp -d) || fail "mktemp"
mounted=
cleanup() { [ -n "$mounted" ] && umount "$work/m" 2>/dev/null; rm -rf "$work"; }
trap cleanup EXIT
cd "$work" || fail "cd"
truncate -s 16M ntfs.img && mkntfs -F -Q ntfs.img >/dev/null 2>&1 || skip "mkntfs failed"
mkdir m
mount_as() { ntfs-3g "$@" ntfs.img m 2>/dev/null && mounted=1; }
unmount() { umount m && mounted=; }
mount_as || skip "cannot mount with ntfs-3g here"

printf 'abc' >m/abc.txt
mkdir m/sub
head -c 70001 /dev/urandom >m/sub/random.bin
"$quorvane" create --quiet m >/dev/null || fail "create on ntfs-3g"
unmount

# Through the Windows view the stream holds the digest's 64 raw bytes.
mount_as -o streams_interface=windows || fail "remount with the Windows stream interface"
[ "$(wc -c <m/abc.txt:z)" -eq 64 ] || fail "abc.txt:z is not 64 bytes"
abc=$(od -An -v -tx1 m/abc.txt:z | tr -d ' \n')
[ "$abc" = "4e2448a4c6f486bb16b6562c73b4020bf3043e3a731bce721ae1b303d97e6d4c7181eebdb6c57e277d0e34957114cbd6c797fc9d95d8b582d225292076d4eef5" ] ||
  fail "abc.txt:z holds $abc, not the Whirlpool digest of abc"
random=$(od -An -v -tx1 m/sub/random.bin:z | tr -d ' \n')
expected=$("$quorvane" digest m/sub/random.bin | cut -c1-128)
[ "$random" = "$expected" ] || fail "random.bin:z differs from its digest"
# A stream written the Windows way is a digest the Linux build reads.
printf 'abc' >m/copy.txt
cat m/abc.txt:z >m/copy.txt:z
unmount

mount_as || fail "remount"
# That digest has no record beside it: told, and renewed by update.
"$quorvane" check m >out.txt 2>err.txt
status=$?
[ $status -eq 16 ] && grep -q "^stale-record  .*/copy.txt" out.txt || fail "check exited $status: $(cat out.txt err.txt)"
"$quorvane" update m >out.txt 2>err.txt || fail "update: $(cat out.txt err.txt)"
"$quorvane" check m >out.txt 2>err.txt
status=$?
[ $status -eq 0 ] || fail "check exited $status: $(cat out.txt err.txt)"
grep -q "All files checked successfully." err.txt || fail "check said: $(cat err.txt)"
printf 'abd' >m/copy.txt
"$quorvane" check m >out.txt 2>err.txt
[ $? -eq 8 ] && grep -q "^edited  .*copy.txt" out.txt || fail "a changed file on NTFS was not found: $(cat out.txt err.txt)"
echo "ntfs-3g interop: ok"
