#!/usr/bin/env bash
# The answers of scripts/i386-probe on each kind of machine and the emulation step of
# scripts/bootstrap (scripts/i386-emulation): this machine as it is, then, in user namespaces with
# a binfmt_misc of their own so that nothing outside changes, a kernel that refuses i386 programs
# (scripts/without-i386) before and after the step, and a binfmt_misc the step has to mount.
#
#   tests/runner/i386_kinds.sh SCRIPTS_DIR
#
# Prints each answer on a line of its own. Exit code 77 (skipped), saying why, where user
# namespaces, their own binfmt_misc or qemu-i386 are missing.
set -euo pipefail
scripts=$(cd "$1" && pwd)
binfmt=/proc/sys/fs/binfmt_misc
fail() { echo "FAILED: $*"; exit 1; }
expect() {  # expect WHAT PATTERN ANSWER
  printf '%-44s %s\n' "$1:" "$3"
  [[ "$3" == $2 ]] || fail "$1: expected $2"
}
probe() { "$scripts/i386-probe" --how || true; }
step() { "$scripts/i386-emulation" "$@" 2>&1 | sed 's/^/  /'; }

case "${2:-}" in
  refused)
    expect "kernel refusing i386" 'none: *Exec format error*' "$(probe)"
    step
    expect "after i386-emulation" 'emulated by qemu-i386 (/*)' "$(probe)"
    grep -qx 'flags: PF' "$binfmt/qemu-i386" || fail "qemu-i386 registered without flags P and F"
    entries=$(ls "$binfmt" | wc -l)
    step
    [ "$(ls "$binfmt" | wc -l)" = "$entries" ] || fail "a second run registered again"
    echo 0 >"$binfmt/qemu-i386"
    expect "qemu-i386 disabled" 'none: *' "$(probe)"
    step
    expect "after i386-emulation again" 'emulated by qemu-i386 (/*)' "$(probe)"
    exit 0 ;;
  unmounted)
    # The answer is given to the step, since i386 programs may well run natively here.
    if [ -f "$binfmt/status" ]; then
      echo "binfmt_misc is mounted here already: the step's own mount is not exercised"
      exit 0
    fi
    step "none: given to the step"
    expect "after i386-emulation, binfmt_misc unmounted" 'emulated by qemu-i386 (/*)' "$(probe)"
    exit 0 ;;
esac

command -v qemu-i386 >/dev/null || { echo "SKIPPED: no qemu-i386 (package qemu-user; scripts/bootstrap installs it)"; exit 77; }
WORK=$(mktemp -d "${TMPDIR:-/tmp}/i386-kinds.XXXXXX")
trap 'rm -rf "$WORK"' EXIT
export WINE_RUN_CACHE=$WORK/cache
expect "this machine" '@(native|emulated by *|none: *)' "$(probe)"
"$scripts/without-i386" bash "$0" "$scripts" refused || {
  rc=$?
  [ $rc = 77 ] && echo "SKIPPED: a kernel refusing i386 programs cannot be stood in for here (see above)"
  exit $rc
}
unshare --user --map-root-user --mount bash "$0" "$scripts" unmounted
