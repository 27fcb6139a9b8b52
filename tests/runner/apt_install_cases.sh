#!/usr/bin/env bash
# scripts/apt-install's decisions against a stand-in apt-get that fails as mirrors do: an index
# that does not download, lists that cannot be resolved together, downloads that fail, and a
# package (Wine's 32-bit half) that cannot be installed at all. One row a case.
#
#   tests/runner/apt_install_cases.sh SCRIPTS_DIR
set -euo pipefail
scripts=$(cd "$1" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/apt-cases.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/bin"
# The stand-in: `update` as $FAKE_UPDATE says; each `install` takes the next word of
# $FAKE_PLAN (ok, unresolvable, no-wine32: unresolvable while wine32:i386 is asked for,
# download, broken). Every call is logged, one line each.
cat >"$work/bin/apt-get" <<'STANDIN'
#!/usr/bin/env bash
echo "$*" >>"$FAKE_DIR/calls"
if [ "$1" = update ]; then
  case $FAKE_UPDATE in
    ok) exit 0 ;;
    index) echo "E: Failed to fetch http://deb.example/dists/sec/main/binary-i386/Packages.xz  File has unexpected size (374820 != 376004). Mirror sync in progress? [IP: 203.0.113.80 80]"
           echo "E: Some index files failed to download. They have been ignored, or old ones used instead."; exit 100 ;;
    down) echo "E: Could not get lock /var/lib/apt/lists/lock"; exit 100 ;;
  esac
fi
n=$(grep -c '^install' "$FAKE_DIR/calls")
plan=($FAKE_PLAN)
step=${plan[$((n - 1))]:-${plan[-1]}}
[ "$step" = no-wine32 ] && { case " $* " in *" wine32:i386 "*) step=unresolvable ;; *) step=ok ;; esac; }
case $step in
  ok) exit 0 ;;
  unresolvable) echo " libwine:i386 : Depends: zlib1g:i386 (>= 1:1.1.4) but it is not going to be installed"
                echo "E: Unable to correct problems, you have held broken packages." ;;
  download) echo "E: Failed to fetch http://deb.example/pool/w/wine32_8.0_i386.deb  Connection failed [IP: 203.0.113.80 80]"
            echo "E: Unable to fetch some archives, maybe run apt-get update or try with --fix-missing?" ;;
  broken) echo "E: dpkg was interrupted, you must manually run 'dpkg --configure -a' to correct the problem." ;;
esac
exit 100
STANDIN
chmod +x "$work/bin/apt-get"
printf 'ID=debian\nVERSION_CODENAME=bookworm\n' >"$work/os-release"
printf 'ID=debian\n' >"$work/os-release-bare"

failures=0
# case NAME UPDATE PLAN OS_RELEASE EXIT CALLS WANTED-OUTPUT...: CALLS is the list of apt-get calls
# as globs joined by "|"; each WANTED-OUTPUT is a glob one printed line must match.
case_() {
  local name=$1 update=$2 plan=$3 os=$4 want_rc=$5 want_calls=$6 rc=0 out calls
  shift 6
  export FAKE_DIR=$work/$name FAKE_UPDATE=$update FAKE_PLAN=$plan
  mkdir -p "$FAKE_DIR"
  : >"$FAKE_DIR/calls"
  out=$(PATH=$work/bin:$PATH APT_INSTALL_OS_RELEASE=$work/$os APT_INSTALL_PAUSE=0 \
        "$scripts/apt-install" --update --reason-file "$FAKE_DIR/reason" gcc --optional wine32:i386 wine64 2>&1) || rc=$?
  calls=$(sed 's/ -y -qq --no-install-recommends//' "$FAKE_DIR/calls" | paste -sd'|')
  local bad=""
  [ "$rc" = "$want_rc" ] || bad+=" exit $rc, not $want_rc;"
  [[ "$calls" == $want_calls ]] || bad+=" calls [$calls], not [$want_calls];"
  for w in "$@"; do
    grep -q -- "$(printf '%s' "$w")" <<<"$out" || bad+=" no line like '$w';"
  done
  if [ -n "$bad" ]; then
    failures=$((failures + 1))
    printf 'FAILED %s:%s\n%s\n' "$name" "$bad" "$(sed 's/^/    /' <<<"$out")"
  else
    printf 'ok     %s\n' "$name"
  fi
}
I='install gcc wine32:i386 wine64'
T='install -t bookworm gcc wine32:i386 wine64'
case_ index_fails    index  ok               os-release 0 "update -qq|$I" \
  'index failed to download, going on without it: http://deb.example/dists/sec/main/binary-i386/Packages.xz (File has unexpected size (374820 != 376004). Mirror sync in progress?)$'
case_ update_fails   down   ok               os-release 0 "update -qq|$I" 'apt-get update failed (Could not get lock'
case_ lagging_lists  ok     "unresolvable ok" os-release 0 "update -qq|$I|$T" \
  "cannot be resolved (Unable to correct problems.*trying again with the release's own suite, bookworm, as target release"
case_ download_twice ok     "download download ok" os-release 0 "update -qq|$I|$I|$I" \
  'a download failed (Failed to fetch .*wine32_8.0_i386.deb Connection failed); trying again in 0 s (attempt 2 of 3)' 'attempt 3 of 3'
case_ download_never ok     download         os-release 1 "update -qq|$I|$I|$I" 'a download failed 3 times' 'THE INSTALL FAILED'
case_ broken_dpkg    ok     broken           os-release 1 "update -qq|$I" 'THE INSTALL FAILED: dpkg was interrupted'
case_ no_codename    ok     unresolvable     os-release-bare 1 "update -qq|$I|install gcc wine64" 'names no release to retry with'
case_ no_wine32      ok     no-wine32        os-release 3 "update -qq|$I|$T|install gcc wine64" \
  'with bookworm as target release it cannot be resolved either' 'CANNOT INSTALL wine32:i386 (Unable to correct problems.*): installing the rest without it'
# What the win32 tests then say when they are skipped: the reason written above.
grep -q 'wine32:i386 cannot be installed from this mirror (Unable to correct problems' "$work/no_wine32/reason" ||
  { failures=$((failures + 1)); echo "FAILED no_wine32: reason file: $(cat "$work/no_wine32/reason" 2>&1)"; }
# i386-probe's kept answer is made "native", so that the loader is what decides here too.
mkdir -p "$work/cache" && cp "$work/no_wine32/reason" "$work/cache/wine32-missing"
WINE_RUN_CACHE=$work/cache "$scripts/i386-probe" || true
for f in "$work"/cache/i386-probe-*; do echo native >"$f"; done
how=$(WINE_RUN_CACHE=$work/cache WINE32=$work/no-such-loader "$scripts/i386-probe" --how --wine || true)
if [[ "$how" == "none: Wine's 32-bit loader $work/no-such-loader is not installed: wine32:i386 cannot be installed from this mirror ("* ]]; then
  echo "ok     skip_reason"
else
  failures=$((failures + 1)); echo "FAILED skip_reason: $how"
fi
[ "$failures" = 0 ]
