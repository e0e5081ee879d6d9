#!/bin/sh
# The console under faults, on real file systems made here: files changed while
# hashed, digests and contents that fail to read, links, folders that cannot be
# walked, special files, and the reasons given. Needs root (mounts, setpriv) and
# strace for injected failures.
# Usage: fault_test.sh QUORVANE GROUP
# Exit status 0 when the group passed, 1 when it failed, 77 when it could not
# run here at all (the reason printed).
absolute() { printf '%s/%s' "$(cd "$(dirname "$1")" && pwd)" "$(basename "$1")"; }
Q=$(absolute "$1")
GROUP=$2
. "$(dirname "$0")/program_copy.sh"

skip() {
    echo "skipped: $*"
    exit 77
}
[ "$(id -u)" = 0 ] || skip "needs root for mounts and setpriv"

T=$(mktemp -d) || exit 1
T=$(cd "$T" && pwd -P)
MOUNTS=
cleanup() {
    for m in $MOUNTS; do umount -l "$m" 2>/dev/null; done
    chmod -R u+rwx "$T" 2>/dev/null
    rm -rf "$T"
}
trap cleanup EXIT
cd "$T" || exit 1
# The ledger of these runs, never the user's.
XDG_STATE_HOME="$T/state"
export XDG_STATE_HOME
chmod 755 "$T"
# The unprivileged runs need a copy they may execute.
copy_program "$Q" "$T/quorvane"

failures=0
fail() {
    printf 'FAIL [%s]: %s\n' "$GROUP" "$*" >&2
    failures=$((failures + 1))
}
note() { printf '%s\n' "$*"; }

LIMIT="timeout 60"

# run ARGS...: stdout in $T/out, stderr in $T/err, status in $rc.
run() {
    $LIMIT "$Q" "$@" >"$T/out" 2>"$T/err" </dev/null
    rc=$?
    [ "$rc" = 124 ] && fail "quorvane $*: still running after 60 s"
}
as_nobody() {
    $LIMIT setpriv --reuid=65534 --regid=65534 --clear-groups "$T/quorvane" "$@" >"$T/out" 2>"$T/err" </dev/null
    rc=$?
}
# traced FILTER-PATH INJECTION ARGS...: the run with a fault injected by strace.
traced() {
    traced_path=$1
    traced_inject=$2
    shift 2
    $LIMIT strace -f -qq -o /dev/null -P "$traced_path" -e "inject=$traced_inject" "$Q" "$@" >"$T/out" 2>"$T/err" </dev/null
    rc=$?
}

expect_status() {
    [ "$rc" = "$1" ] || fail "$2: exit status $rc, expected $1; stderr: $(cat "$T/err")"
}
# expect_line WHAT FILE LINE: FILE holds LINE.
expect_line() {
    grep -qxF -- "$3" "$2" || { fail "$1: no line '$3' in $(basename "$2"):"; cat "$2" >&2; }
}
expect_no_success() {
    grep -qx 'All files checked successfully\.\|Ready\.' "$T/err" && fail "$1: closed with a success text"
}

stored_hex() {
    python3 -c '
import os, sys
try:
    print(os.getxattr(sys.argv[1], "user.z").hex())
except OSError:
    print("none")' "$1"
}
set_stored_hex() { python3 -c 'import os, sys; os.setxattr(sys.argv[1], "user.z", bytes.fromhex(sys.argv[2]))' "$1" "$2"; }
GOOD_LOOKING=$(printf '%0128d' 7)

need() {
    for tool in "$@"; do command -v "$tool" >/dev/null 2>&1 || skip "no $tool here"; done
}

# make_ext4 DIR SIZE [MKFS OPTIONS]: a loop-mounted ext4 image at DIR; false
# when loop devices or mounts are not available.
make_ext4() {
    dir=$1
    size=$2
    shift 2
    truncate -s "$size" "$T/$(basename "$dir").img"
    mkfs.ext4 -q -F "$@" "$T/$(basename "$dir").img" >/dev/null 2>&1 || return 1
    mkdir -p "$dir"
    mount -o loop "$T/$(basename "$dir").img" "$dir" 2>/dev/null || return 1
    MOUNTS="$dir $MOUNTS"
}

# ---- 1. a file changed while it is hashed ---------------------------------
# strace stops the whole process (SIGSTOP) at its second read of the file, in
# the middle of the hash; the change is made while it stands still, then it
# goes on. The order is certain, nothing is timed.
change_file() {
    case $1 in
        append) printf more >>"$2" ;;
        inplace) printf X | dd of="$2" bs=1 seek=1000 conv=notrunc status=none ;;
        rename) head -c 300000 /dev/zero | tr '\0' n >"$2.new" && mv "$2.new" "$2" ;;
    esac
}

# stopped_run CHANGE STOPS ARGS...: the run, stopped in the middle of each hash
# of $T/f (strace counts the reads of each thread); the change made at the
# last of STOPS stops.
stopped_run() {
    change=$1
    stops=$2
    shift 2
    : >"$T/trace"
    strace -f -qq -o "$T/trace" -P "$T/f" -e trace=read -e inject=read:signal=SIGSTOP:when=2 \
        "$Q" "$@" >"$T/out" 2>"$T/err" </dev/null &
    tracer=$!
    stop=1
    while [ "$stop" -le "$stops" ]; do
        # strace notes each stop it injects; the process is then held in it.
        child=
        state=
        i=0
        while [ $i -lt 600 ]; do
            child=$(pgrep -P "$tracer")
            if [ -n "$child" ] && [ "$(grep -c -- '--- SIGSTOP {' "$T/trace")" -ge "$stop" ]; then
                state=$(awk '{print $3}' "/proc/$child/stat" 2>/dev/null)
                [ "$state" = t ] || [ "$state" = T ] && break
            fi
            sleep 0.1
            i=$((i + 1))
        done
        if [ "$state" != t ] && [ "$state" != T ]; then
            fail "$change: the run never stopped at its read $stop"
            break
        fi
        [ "$stop" = "$stops" ] && change_file "$change" "$T/f"
        kill -CONT "$child"
        stop=$((stop + 1))
    done
    wait "$tracer"
    rc=$?
}

test_changed() {
    need strace python3 pgrep
    # command|change|how the digest ends
    while IFS='|' read -r command change ending; do
        what="$command of a file $change while hashed"
        rm -f f
        head -c 300000 /dev/zero | tr '\0' o >f
        touch -d '2001-02-03 04:05:06' f
        case $command in
            rewrite | check)
                "$Q" create --quiet f >/dev/null
                [ "$command" = rewrite ] && printf A | dd of=f bs=1 seek=5 conv=notrunc status=none
                touch -d '2001-02-03 04:05:06' f
                ;;
        esac
        before=$(stored_hex f)
        stopped_run "$change" $([ "$command" = rewrite ] && echo 2 || echo 1) "$command" f
        expect_status 4 "$what"
        expect_line "$what" "$T/out" "changed  $T/f"
        expect_line "$what" "$T/err" "quorvane: $T/f: changed while read"
        grep -q '^altered\|^written' "$T/out" && fail "$what: called altered or written"
        expect_no_success "$what"
        case $ending in
            none) [ "$(stored_hex f)" = none ] || fail "$what: a digest was stored" ;;
            kept) [ "$(stored_hex f)" = "$before" ] || fail "$what: the digest changed" ;;
            kept-or-none) h=$(stored_hex f) && { [ "$h" = "$before" ] || [ "$h" = none ]; } || fail "$what: the old file's digest went to the new file" ;;
        esac
        # The edit's own time stays, so that backups and later checks see it.
        [ "$(stat -c %Y f)" != "$(date -d '2001-02-03 04:05:06' +%s)" ] || fail "$what: the last-write time was set back"
    done <<'EOF'
create|append|none
create|inplace|none
create|rename|none
rewrite|append|kept
rewrite|inplace|kept
rewrite|rename|kept-or-none
check|append|kept
check|inplace|kept
EOF
}

# ---- 2. digests that cannot be read ------------------------------------------
test_digest() {
    need strace python3 setpriv
    mkdir d
    chmod 755 d
    printf abc >d/f
    printf xyz >d/g
    set_stored_hex d/f "$GOOD_LOOKING"
    "$Q" create --quiet d/g >/dev/null
    # how|command|status|word
    while IFS='|' read -r how command status word; do
        what="$command with getxattr failing ($how)"
        case $how in
            EIO) traced "$T/d/f" getxattr,fgetxattr:error=EIO $command d ;;
            EACCES)
                chmod 000 d/f
                as_nobody $command d
                chmod 644 d/f
                ;;
        esac
        expect_status "$status" "$what"
        expect_line "$what" "$T/out" "unreadable  $T/d/f"
        grep -q "^$word  $T/d/f\$" "$T/out" && fail "$what: reported as $word"
        expect_line "$what" "$T/err" "quorvane: $T/d/f: $([ "$how" = EIO ] && echo Input/output error || echo Permission denied)"
        expect_no_success "$what"
        [ "$(stored_hex d/f)" = "$GOOD_LOOKING" ] || fail "$what: the stored digest was changed"
    done <<'EOF'
EIO|list|4|no-digest
EIO|check|4|no-digest
EIO|create|4|written
EIO|remove --yes|4|removed
EACCES|list|4|no-digest
EACCES|remove --yes|4|removed
EOF
    # Beside a file it writes, create still tells the one it could not read.
    printf new >d/h
    traced "$T/d/f" getxattr,fgetxattr:error=EIO create d
    expect_status 4 "create beside an unreadable digest"
    expect_line "create beside an unreadable digest" "$T/out" "written  $T/d/h"
    expect_line "create beside an unreadable digest" "$T/err" "1 file could not be read."
    expect_no_success "create beside an unreadable digest"
}

# ---- 3. links lead out of the target ---------------------------------------
test_links() {
    need python3
    mkdir -p outside/target/sub
    printf in >outside/target/sub/in.txt
    printf out >outside/beside.txt
    ln -s .. outside/target/up
    ln -s / outside/target/root
    ln -s ../beside.txt outside/target/linked.txt
    set_stored_hex outside/beside.txt "$GOOD_LOOKING"
    run create outside/target
    expect_status 0 "create with links to outside"
    [ "$(wc -l <"$T/out")" = 1 ] || { fail "create went past its target:"; head "$T/out" >&2; }
    expect_line "create with links to outside" "$T/out" "written  $T/outside/target/sub/in.txt"
    [ "$(stored_hex outside/beside.txt)" = "$GOOD_LOOKING" ] || fail "create wrote outside its target"
    run remove --yes outside/target
    [ "$(stored_hex outside/beside.txt)" = "$GOOD_LOOKING" ] || fail "remove deleted outside its target"
    grep -q 'beside\|/etc/' "$T/out" && fail "remove reported files outside its target"
    # A link named as a target is followed.
    run list outside/target/linked.txt outside/target/up
    expect_line "a link as a target" "$T/out" "hashed  $T/outside/target/linked.txt"
    expect_line "a link as a target" "$T/out" "hashed  $T/outside/target/up/beside.txt"
    # A sysfs walk ends.
    run list -x /sys/kernel
    [ "$rc" = 0 ] || [ "$rc" = 4 ] || fail "list /sys/kernel: status $rc"
    # -x: a file system mounted inside the target is left out.
    if make_ext4 outside/target/mnt 8M; then
        printf m >outside/target/mnt/on-other.txt
        run list -x outside/target
        grep -q on-other "$T/out" && fail "list -x went onto another file system"
        expect_line "list -x" "$T/out" "no-digest  $T/outside/target/sub/in.txt"
        run list outside/target
        expect_line "list without -x" "$T/out" "no-digest  $T/outside/target/mnt/on-other.txt"
        run digest -x outside/target/sub/in.txt
        expect_status 64 "-x with digest"
    else
        note "no loop mount here: -x not tested"
    fi
}

# ---- 4. folders that cannot be walked --------------------------------------
# make_deep DIR LEVELS NAME: LEVELS nested folders NAME below DIR, a file at the
# bottom; prints the bottom folder's path relative to DIR.
make_deep() {
    # Through folder descriptors: the shell's cd stops at PATH_MAX.
    python3 - "$1" "$2" "$3" <<'EOF'
import os, sys
fd = os.open(sys.argv[1], os.O_RDONLY)
for _ in range(int(sys.argv[2])):
    os.mkdir(sys.argv[3], dir_fd=fd)
    below = os.open(sys.argv[3], os.O_RDONLY, dir_fd=fd)
    os.close(fd)
    fd = below
leaf = os.open("leaf", os.O_WRONLY | os.O_CREAT, 0o644, dir_fd=fd)
os.write(leaf, b"deep")
EOF
}

test_folders() {
    need setpriv python3
    long=$(printf '%0200d' 0)
    # Unreadable to the user: named, counted, no success.
    mkdir -p p/locked p/open
    printf a >p/locked/a
    printf b >p/open/b
    chmod 755 p p/open
    chmod 000 p/locked
    as_nobody list p
    expect_status 4 "list of a folder the user may not enter"
    expect_line "denied folder" "$T/out" "unreadable  $T/p/locked"
    expect_line "denied folder" "$T/err" "quorvane: $T/p/locked: Permission denied"
    expect_line "denied folder" "$T/err" "1 file could not be read."
    as_nobody check p
    expect_status 6 "check of a folder the user may not enter"
    expect_no_success "check of a denied folder"
    chmod 755 p/locked

    # deep|levels|name|ulimit: trees past PATH_MAX and past the open-file limit.
    while IFS='|' read -r what levels name limit; do
        mkdir "$what"
        make_deep "$what" "$levels" "$name"
        (
            ulimit -n "$limit"
            "$Q" create "$what" >"$T/out" 2>"$T/err" </dev/null
            echo $? >"$T/rc"
        )
        rc=$(cat "$T/rc")
        expect_status 0 "create of $what"
        [ "$(grep -c '^written  .*/leaf$' "$T/out")" = 1 ] || fail "create of $what: the leaf was not written"
        (
            ulimit -n "$limit"
            "$Q" check "$what" >"$T/out" 2>"$T/err" </dev/null
            echo $? >"$T/rc"
        )
        rc=$(cat "$T/rc")
        expect_status 0 "check of $what"
        expect_line "check of $what" "$T/err" "All files checked successfully."
        [ -s "$T/out" ] && fail "check of $what: $(head -c 300 "$T/out")"
        rm -rf "$what" 2>/dev/null || python3 -c 'import shutil, sys; shutil.rmtree(sys.argv[1])' "$what"
    done <<EOF
past-path-max|30|$long|1024
many-levels|300|d|64
EOF

    # A relative target whose absolute form is longer than PATH_MAX.
    mkdir rel
    make_deep rel 12 "$long"
    inner=$(python3 -c 'print("/".join(["'"$long"'"] * 12))')
    (
        cd "rel/$(python3 -c 'print("/".join(["'"$long"'"] * 6))')" || exit 1
        "$Q" list "$(python3 -c 'print("/".join(["'"$long"'"] * 6))')" >"$T/out" 2>"$T/err" </dev/null
        echo $? >"$T/rc"
    )
    rc=$(cat "$T/rc")
    expect_status 0 "list of a relative target past PATH_MAX"
    expect_line "relative target past PATH_MAX" "$T/out" "no-digest  $T/rel/$inner/leaf"
}

# A folder name of 400 bytes (200 Cyrillic letters), legal on NTFS.
test_ntfs_names() {
    need mkntfs ntfs-3g python3
    truncate -s 16M ntfs.img
    mkntfs -F -Q ntfs.img >/dev/null 2>&1 || skip "mkntfs failed"
    mkdir n
    ntfs-3g ntfs.img n 2>/dev/null || skip "cannot mount with ntfs-3g (FUSE)"
    MOUNTS="$T/n $MOUNTS"
    name=$(python3 -c 'print("ж" * 200)')
    mkdir "n/$name" || skip "ntfs-3g refused a 200-letter name"
    printf long >"n/$name/f"
    run create n
    expect_status 0 "create below a 400-byte name"
    expect_line "400-byte name" "$T/out" "written  $T/n/$name/f"
    run check n
    expect_status 0 "check below a 400-byte name"
    expect_line "400-byte name" "$T/err" "All files checked successfully."
}

# ---- 5. reads that fail in the middle of a check --------------------------
test_reads() {
    need strace
    head -c 300000 /dev/zero >f
    "$Q" create --quiet f >/dev/null
    # injection|reason
    while IFS='|' read -r inject reason; do
        what="check with read $inject"
        traced "$T/f" "read:$inject:when=3" check f
        expect_status 4 "$what"
        expect_line "$what" "$T/out" "unreadable  $T/f"
        expect_line "$what" "$T/err" "quorvane: $T/f: $reason"
        grep -q '^altered' "$T/out" && fail "$what: called altered"
        expect_no_success "$what"
        traced "$T/f" "read:$inject:when=3" rewrite f
        [ "$rc" = 4 ] || fail "rewrite with read $inject: status $rc"
    done <<'EOF'
error=EIO|Input/output error
retval=0|could not be read completely
EOF
    run check f
    expect_status 0 "check without faults"
}

# ---- 6. special files named as targets --------------------------------------
test_specials() {
    need python3
    mkfifo fifo
    python3 -c 'import socket; socket.socket(socket.AF_UNIX).bind("sock")'
    printf a >a
    "$Q" create --quiet a >/dev/null
    for target in "$T/fifo" "$T/sock" /dev/null; do
        for command in check list create; do
            run $command "$target" a
            expect_status 4 "$command $target"
            expect_line "$command $target" "$T/out" "unreadable  $target"
            expect_line "$command $target" "$T/err" "quorvane: $target: Not a regular file"
            expect_no_success "$command $target"
        done
    done
}

# ---- 7. the reasons given -----------------------------------------------------
test_reasons() {
    need python3 setpriv
    # file system|setup|reason
    if make_ext4 "$T/full" 2M -I 128 -N 64 -b 1024 -m 0; then
        i=0
        while [ $i -lt 40 ]; do printf "$i" >"full/f$i"; i=$((i + 1)); done
        # Files of their own fill every block left; a digest then needs one.
        dd if=/dev/zero of=full/filler bs=1k status=none 2>/dev/null
        i=0
        while [ $i -lt 16 ]; do { printf x >"full/last$i"; } 2>/dev/null; i=$((i + 1)); done
        run create full
        expect_status 4 "create on a full file system"
        grep -q "^quorvane: $T/full/f[0-9]*: No space left on device\$" "$T/err" ||
            fail "create on a full file system: no 'No space left on device'; $(head -3 "$T/err")"
        grep -q "^not-written  $T/full/f" "$T/out" || fail "create on a full file system: nothing named not-written"
    else
        note "no loop mount here: a full file system not tested"
    fi

    mkdir -p rw ro
    printf r >rw/r
    if mount --bind rw ro 2>/dev/null && MOUNTS="$T/ro $MOUNTS" && mount -o remount,bind,ro ro 2>/dev/null; then
        run create ro
        expect_status 4 "create on a read-only mount"
        expect_line "read-only mount" "$T/out" "not-written  $T/ro/r"
        expect_line "read-only mount" "$T/err" "quorvane: $T/ro/r: Read-only file system"
        expect_no_success "create on a read-only mount"
    else
        note "no bind mount here: a read-only file system not tested"
    fi

    mkdir ram
    if mount -t ramfs ramfs ram 2>/dev/null; then
        MOUNTS="$T/ram $MOUNTS"
        printf r >ram/r
        run create ram
        if [ "$(stored_hex ram/r)" = none ]; then
            expect_status 4 "create on ramfs"
            expect_line "ramfs" "$T/out" "not-written  $T/ram/r"
            expect_line "ramfs" "$T/err" "quorvane: $T/ram/r: Operation not supported"
        else
            note "ramfs keeps user attributes on this kernel"
        fi
    else
        note "no ramfs here: an unsupported file system not tested"
    fi

    # A target that cannot be looked at is not called missing.
    mkdir private
    printf s >private/s
    chmod 700 private
    as_nobody check private/s
    expect_status 66 "check of a target in a private folder"
    expect_line "private target" "$T/err" "quorvane: private/s: Permission denied"
    run check gone
    expect_line "missing target" "$T/err" "quorvane: gone: No such file or directory"
    [ "$(wc -l <"$T/err")" = 1 ] || fail "missing target: more than one line"
}

case "$GROUP" in
    changed | digest | links | folders | ntfs_names | reads | specials | reasons)
        "test_$GROUP"
        ;;
    *)
        echo "unknown group $GROUP" >&2
        exit 2
        ;;
esac
[ "$failures" -eq 0 ] || exit 1
echo "PASS [$GROUP]"
exit 0
