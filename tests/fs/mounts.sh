#!/usr/bin/env bash
# Mounts real file systems for the tests, and takes them down again.
#
#   mounts.sh up OWNER KIND [OPTIONS [BACKING]]
#       Mounts a file system of KIND in a new state folder and prints that
#       folder: its mount point is STATE/mnt, and for the kinds that show a
#       folder, that folder is STATE/back (or BACKING when given, shared with
#       another mount). OWNER is the pid of the process that uses it: once it
#       is gone, `sweep` takes everything down.
#         sshfs         STATE/back through sshd on 127.0.0.1, our own keys
#         fault         STATE/back through fault_fs (path in $FAULT_FS);
#                       OPTIONS are its -o options, "-" for none
#         bind          STATE/back bound at STATE/mnt
#         tmpfs         a file system in memory
#         ext4 xfs btrfs exfat
#                       a fresh file system on a loop device (exFAT by FUSE)
#       Exits 77, saying why, where this machine cannot (no root, no tool).
#   mounts.sh down STATE    undoes everything up did, newest first
#   mounts.sh sweep         downs every state whose owner is gone
#
# Every step that needs undoing records how in STATE/undo as it is done, so
# a failure half-way, or a killed test, leaves nothing that down cannot undo.
set -uo pipefail

state=
prefix=${TMPDIR:-/tmp}/sarnoval-fs.

skip() {
    echo "$*"
    [ -n "${state:-}" ] && down "$state"
    exit 77
}

need() {
    for tool in "$@"; do
        command -v "$tool" >/dev/null 2>&1 || [ -x "$tool" ] || skip "$tool is not installed"
    done
}

# Lazily when busy: a test may still hold a descriptor there.
unmount() {
    mountpoint -q "$1" || return 0
    umount "$1" 2>/dev/null || umount -l "$1"
}

down() {
    local state=$1
    [ -d "$state" ] || return 0
    if [ -f "$state/undo" ]; then
        tac "$state/undo" | while IFS= read -r step; do
            eval "$step" >/dev/null 2>&1 || true
        done
    fi
    # Never into a file system still mounted there.
    rm -rf --one-file-system "$state"
}

sweep() {
    local state owner
    for state in "$prefix"*; do
        [ -d "$state" ] || continue
        owner=$(cat "$state/owner" 2>/dev/null || true)
        if [ -n "$owner" ] && kill -0 "$owner" 2>/dev/null; then
            continue
        fi
        # A state whose owner is not written yet is being made right now.
        if [ -z "$owner" ] && [ -z "$(find "$state" -maxdepth 0 -mmin +1)" ]; then
            continue
        fi
        down "$state"
    done
}

undo() {
    echo "$*" >>"$state/undo"
}

fail() {
    echo "$*"
    [ -f "$state/log" ] && cat "$state/log"
    down "$state"
    exit 1
}

# Waits up to five seconds for a condition.
await() {
    for _ in $(seq 50); do
        "$@" && return 0
        sleep 0.1
    done
    return 1
}

listening() {
    (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null
}

mount_sshfs() {
    need /usr/sbin/sshd ssh-keygen sshfs
    local keys=$state/ssh port pid
    mkdir -m 700 "$keys"
    ssh-keygen -q -t ed25519 -N '' -f "$keys/host" || fail "could not make a host key"
    ssh-keygen -q -t ed25519 -N '' -f "$keys/user" || fail "could not make a user key"
    cp "$keys/user.pub" "$keys/authorized_keys"
    mkdir -p /run/sshd
    chmod 755 /run/sshd
    # Without PAM, sshd refuses a locked account (a root without a password);
    # PAM lets the key decide. Elsewhere PAM stays out: some containers fail it.
    local pam=no
    case "$(getent shadow root | cut -d: -f2)" in '!'*) pam=yes ;; esac
    for _ in $(seq 20); do
        port=$((20000 + RANDOM % 40000))
        listening "$port" && continue
        /usr/sbin/sshd -D -e -f /dev/null -o "ListenAddress=127.0.0.1:$port" \
            -o "HostKey=$keys/host" -o "AuthorizedKeysFile=$keys/authorized_keys" \
            -o StrictModes=no -o PermitRootLogin=prohibit-password -o PasswordAuthentication=no \
            -o KbdInteractiveAuthentication=no -o UsePAM=$pam -o PidFile=none \
            -o "Subsystem=sftp internal-sftp" >>"$state/log" 2>&1 &
        pid=$!
        undo "kill $pid"
        await listening "$port" && break
        kill "$pid" 2>/dev/null
        pid=
    done
    [ -n "$pid" ] || fail "sshd did not start"
    undo "unmount $state/mnt"
    sshfs "root@127.0.0.1:$back" "$state/mnt" -o "port=$port,IdentityFile=$keys/user" \
        -o StrictHostKeyChecking=no,UserKnownHostsFile=/dev/null,BatchMode=yes,LogLevel=ERROR \
        >>"$state/log" 2>&1 || fail "sshfs could not mount"
}

mount_fault() {
    local tool=${FAULT_FS:-}
    [ -n "$tool" ] && [ -x "$tool" ] || skip "fault_fs was not built (no libfuse3)"
    undo "unmount $state/mnt"
    local options=()
    [ "$1" != - ] && options=(-o "$1")
    "$tool" "$back" "$state/mnt" "${options[@]}" >>"$state/log" 2>&1 || fail "fault_fs could not mount"
}

mount_loop() {
    local kind=$1 size=16M loop
    case "$kind" in
    ext4) need mkfs.ext4 ;;
    xfs) need mkfs.xfs; size=320M ;; # its least size
    btrfs) need mkfs.btrfs; size=128M ;;
    exfat) need mkfs.exfat mount.exfat-fuse ;;
    esac
    need losetup
    truncate -s "$size" "$state/image"
    if [ "$kind" = exfat ]; then
        mkfs.exfat "$state/image" >>"$state/log" 2>&1
    else
        "mkfs.$kind" -q "$state/image" >>"$state/log" 2>&1
    fi || fail "mkfs.$kind failed"
    loop=$(losetup -f --show "$state/image" 2>>"$state/log") || skip "no free loop device"
    undo "losetup -d $loop"
    undo "unmount $state/mnt"
    if [ "$kind" = exfat ]; then
        mount.exfat-fuse "$loop" "$state/mnt" >>"$state/log" 2>&1
    else
        mount -t "$kind" "$loop" "$state/mnt" >>"$state/log" 2>&1
    fi || fail "could not mount $kind"
}

up() {
    [ $# -ge 2 ] || { echo "usage: $0 up OWNER KIND [OPTIONS [BACKING]]"; exit 2; }
    local owner=$1 kind=$2 options=${3:--}
    [ "$(id -u)" -eq 0 ] || skip "mounting needs root"
    state=$(mktemp -d "${prefix}XXXXXX") || exit 1
    echo "$owner" >"$state/owner"
    mkdir "$state/mnt"
    # A container without the right to mount cannot run these tests.
    mount -t tmpfs probe "$state/mnt" 2>/dev/null || skip "this machine does not allow mounts"
    umount "$state/mnt"
    case "$kind" in
    sshfs | fault | exfat) [ -c /dev/fuse ] || skip "no /dev/fuse" ;;
    esac
    back=${4:-$state/back}
    mkdir -p "$back"
    case "$kind" in
    sshfs) mount_sshfs ;;
    fault) mount_fault "$options" ;;
    tmpfs)
        undo "unmount $state/mnt"
        mount -t tmpfs tmpfs "$state/mnt" >>"$state/log" 2>&1 || fail "could not mount tmpfs"
        ;;
    bind)
        undo "unmount $state/mnt"
        mount --bind "$back" "$state/mnt" >>"$state/log" 2>&1 || fail "could not bind"
        ;;
    ext4 | xfs | btrfs | exfat) mount_loop "$kind" ;;
    *) fail "unknown kind $kind" ;;
    esac
    echo "$state"
}

case "${1:-}" in
up) shift; up "$@" ;;
down) down "${2:?state}" ;;
sweep) sweep ;;
*) echo "usage: $0 up OWNER KIND [OPTIONS [BACKING]] | down STATE | sweep"; exit 2 ;;
esac
