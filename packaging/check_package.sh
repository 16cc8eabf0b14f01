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
for dep in libqt6widgets6 libqt6gui6 libqt6printsupport6 libqt6svg6 qt6-qpa-plugins fonts-ipaexfont-gothic fonts-liberation; do
  grep -q "$dep" <<<"$control" || fail "Depends does not name $dep"
done

files="$(dpkg-deb -c "$deb" | awk '{print $6}')"
for f in ./usr/bin/mirelo ./usr/bin/mirelo-calc ./usr/share/mirelo/Att_coeff2021.dat ./usr/share/mirelo/effEA.dat \
         ./usr/share/applications/org.mirelo.Mirelo.desktop ./usr/share/metainfo/org.mirelo.Mirelo.metainfo.xml \
         ./usr/share/icons/hicolor/scalable/apps/org.mirelo.Mirelo.svg \
         ./usr/share/doc/mirelo/guide.html ./usr/share/doc/mirelo/main_window.png ./usr/share/doc/mirelo/copyright \
         ./usr/share/man/man1/mirelo.1.gz ./usr/share/man/man1/mirelo-calc.1.gz; do
  grep -qxF "$f" <<<"$files" || fail "the package lacks $f"
done

root="$scratch/root"
dpkg-deb -x "$deb" "$root"
# The manual pages read without a warning, and the guide names its pictures, which are beside it.
for page in mirelo mirelo-calc; do
  warnings="$(zcat "$root/usr/share/man/man1/$page.1.gz" | LC_ALL=C.UTF-8 groff -man -Tutf8 -ww -z 2>&1)"
  [[ -z "$warnings" ]] || fail "man page $page: $warnings"
done
for picture in $(grep -o 'src="[^"]*"' "$root/usr/share/doc/mirelo/guide.html" | cut -d'"' -f2); do
  [[ -f "$root/usr/share/doc/mirelo/$picture" ]] || fail "the guide shows $picture, which is not installed"
done
grep -q "Copyright:" "$root/usr/share/doc/mirelo/copyright" || fail "the copyright file names no copyright"
echo "guide, copyright and man pages installed: $(dpkg-deb -c "$deb" | awk '{print $6}' | grep -cE 'doc/mirelo|man1') files"
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
