#!/usr/bin/env bash
# Builds the Debian package from a finished build folder, checks its control data and file list,
# validates the desktop entry and the AppStream file, and starts the unpacked program from an
# empty working folder.
set -euo pipefail
build="$1"
fail() { echo "FAIL: $*" >&2; exit 1; }

scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT

(cd "$build" && cpack -G DEB -B "$scratch/out" >/dev/null) || fail "cpack could not build the package"
deb="$(ls "$scratch"/out/mirelo_*_amd64.deb 2>/dev/null | head -n 1)"
[[ -n "$deb" ]] || fail "no mirelo_<version>_amd64.deb was made"
echo "package: $(basename "$deb")"

control="$(dpkg-deb -f "$deb" Package Version Architecture Depends)"
echo "$control"
for dep in libqt6widgets6 libqt6gui6 qt6-qpa-plugins fonts-ipaexfont-gothic fonts-liberation; do
  grep -q "$dep" <<<"$control" || fail "Depends does not name $dep"
done

files="$(dpkg-deb -c "$deb" | awk '{print $6}')"
for f in ./usr/bin/mirelo ./usr/bin/mirelo-calc ./usr/share/mirelo/Att_coeff2021.dat ./usr/share/mirelo/effEA.dat \
         ./usr/share/applications/org.mirelo.Mirelo.desktop ./usr/share/metainfo/org.mirelo.Mirelo.metainfo.xml \
         ./usr/share/icons/hicolor/scalable/apps/org.mirelo.Mirelo.svg; do
  grep -qxF "$f" <<<"$files" || fail "the package lacks $f"
done

root="$scratch/root"
dpkg-deb -x "$deb" "$root"
desktop-file-validate "$root/usr/share/applications/org.mirelo.Mirelo.desktop" || fail "desktop-file-validate"
appstreamcli validate --no-net "$root/usr/share/metainfo/org.mirelo.Mirelo.metainfo.xml" || fail "appstreamcli validate"

# From an empty folder the program must find the tables it was installed with and keep running;
# a start-up failure would end it at once with status 1.
work="$scratch/work"
mkdir -p "$work"
set +e
(cd "$work" && QT_QPA_PLATFORM=offscreen timeout 5 "$root/usr/bin/mirelo" 2>"$scratch/stderr")
status=$?
set -e
[[ $status -eq 124 ]] || fail "the installed program ended with status $status: $(cat "$scratch/stderr")"
echo "installed program started from an empty folder and kept running"

# The command-line tool finds the same installed tables.
calc_out="$(cd "$work" && "$root/usr/bin/mirelo-calc" --kv 80 --area-dose 1 --format json 2>"$scratch/stderr")" ||
  fail "the installed mirelo-calc failed: $(cat "$scratch/stderr")"
grep -qF "\"path\": \"$root/usr/share/mirelo/effEA.dat\"" <<<"$calc_out" || fail "mirelo-calc did not use the installed tables"
echo "installed mirelo-calc computed with the installed tables"

rm "$root/usr/share/mirelo/effEA.dat"
set +e
(cd "$work" && QT_QPA_PLATFORM=offscreen timeout 5 "$root/usr/bin/mirelo" 2>"$scratch/stderr")
status=$?
set -e
[[ $status -eq 1 ]] || fail "without its tables the program ended with status $status"
grep -q "effEA.dat: file not found" "$scratch/stderr" || fail "unexpected message: $(cat "$scratch/stderr")"
echo "without effEA.dat it stopped with: $(cat "$scratch/stderr")"
set +e
(cd "$work" && "$root/usr/bin/mirelo-calc" --kv 80 --area-dose 1 >/dev/null 2>"$scratch/stderr")
status=$?
set -e
[[ $status -eq 1 ]] || fail "without its tables mirelo-calc ended with status $status"
grep -q "^mirelo-calc: effEA.dat: file not found" "$scratch/stderr" || fail "unexpected message: $(cat "$scratch/stderr")"
echo "package checks passed"
