#!/usr/bin/env bash
# The answers of scripts/i386-probe on each kind of machine and the emulation step of
# scripts/bootstrap (scripts/i386-emulation), inside a user namespace with a binfmt_misc of its own
# (Linux 6.7 and later give each user namespace its own instance), so that nothing outside it
# changes. A kernel without i386 support is stood in for by an entry that hands i386 programs to
# a file that is no program: the kernel then answers "Exec format error", as such a kernel does.
#
#   tests/runner/i386_kinds.sh SCRIPTS_DIR
#
# Prints each answer on a line of its own. Exit code 77 (skipped), saying why, where user
# namespaces, their own binfmt_misc or qemu-i386 are missing.
set -euo pipefail
scripts=$(cd "$1" && pwd)
binfmt=/proc/sys/fs/binfmt_misc
i386_magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
i386_mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
skip() { echo "SKIPPED: $*"; exit 77; }
fail() { echo "FAILED: $*"; exit 1; }
expect() {  # expect WHAT PATTERN ANSWER
  printf '%-44s %s\n' "$1:" "$3"
  [[ "$3" == $2 ]] || fail "$1: expected $2"
}

case "${2:-}" in
  refused)
    # A binfmt_misc of this namespace's own, the probe's answers before and after the step that
    # scripts/bootstrap takes.
    mount -t binfmt_misc binfmt_misc "$binfmt" 2>/dev/null ||
      skip "this kernel gives a user namespace no binfmt_misc of its own (Linux 6.7 and later do)"
    probe() { "$scripts/i386-probe" --how || true; }
    first=$(probe)
    expect "fresh binfmt_misc" '@(native|none: *)' "$first"
    if [ "$first" = native ]; then
      printf 'not a program\n' >"$WORK/not-a-program"
      chmod +x "$WORK/not-a-program"
      printf '%s\n' ":no-native-i386:M::$i386_magic:$i386_mask:$WORK/not-a-program:F" >"$binfmt/register"
      expect "native i386 refused" 'none: *Exec format error*' "$(probe)"
    fi
    "$scripts/i386-emulation" 2>&1 | sed 's/^/  /'
    expect "after i386-emulation" 'emulated by qemu-i386 (/*)' "$(probe)"
    grep -qx 'flags: PF' "$binfmt/qemu-i386" || fail "qemu-i386 registered without flags P and F"
    entries=$(ls "$binfmt" | wc -l)
    "$scripts/i386-emulation" 2>&1 | sed 's/^/  /'
    [ "$(ls "$binfmt" | wc -l)" = "$entries" ] || fail "a second run registered again"
    echo 0 >"$binfmt/qemu-i386"
    expect "qemu-i386 disabled" 'none: *' "$(probe)"
    "$scripts/i386-emulation" 2>&1 | sed 's/^/  /'
    expect "after i386-emulation again" 'emulated by qemu-i386 (/*)' "$(probe)"
    exit 0 ;;
  unmounted)
    # binfmt_misc not mounted: the step mounts it itself (the answer is given, since i386
    # programs may well run natively here).
    if [ -f "$binfmt/status" ]; then
      echo "binfmt_misc is mounted here already: the step's own mount is not exercised"
      exit 0
    fi
    "$scripts/i386-emulation" "none: given to the step" 2>&1 | sed 's/^/  /'
    expect "after i386-emulation, binfmt_misc unmounted" 'emulated by qemu-i386 (/*)' \
      "$("$scripts/i386-probe" --how || true)"
    exit 0 ;;
esac

command -v unshare >/dev/null || skip "no unshare (package util-linux)"
command -v qemu-i386 >/dev/null || skip "no qemu-i386 (package qemu-user; scripts/bootstrap installs it)"
unshare --user --map-root-user --mount true 2>/dev/null ||
  skip "user namespaces cannot be made here (unshare --user --map-root-user --mount)"
WORK=$(mktemp -d "${TMPDIR:-/tmp}/i386-kinds.XXXXXX")
trap 'rm -rf "$WORK"' EXIT
export WORK WINE_RUN_CACHE=$WORK/cache
unshare --user --map-root-user --mount bash "$0" "$scripts" refused
unshare --user --map-root-user --mount bash "$0" "$scripts" unmounted
