#!/usr/bin/env bash
# The Windows setup program under wine, as an administrator and a user meet it:
#
#   tests/install/windows-setup.sh PRAATKIST-SETUP.EXE PRAATKIST.EXE
#
# PRAATKIST.EXE is the stripped program the setup was made from. In order:
#  1. a silent install for all users: the program in Program Files, its entry in the
#     list of installed programs (name, the executable's version, publisher, icon,
#     size, uninstaller) and its Start menu shortcut;
#  2. the installed Praatkist.exe records its takes where it was installed
#     (tests/e2e/windows-session.sh --installed), its settings in the user's
#     application-data folder and none beside it;
#  3. the setup again, with /DESKTOP, over an older install (an older program file,
#     an older version in its entry): upgraded in place, a desktop shortcut added;
#  4. the silent uninstall the entry names: no program file, shortcut or entry left,
#     the takes and the settings still there;
#  5. for the current user alone, into a folder of the user's choice, and the setup
#     again without options: the same folder upgraded, the user's own entry and Start
#     menu, nothing for all users; uninstalled again.
# Needs WINEPREFIX and PULSE_SERVER (scripts/test-windows.sh --gui starts both).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
# shellcheck source=../e2e/lib.sh
source "$root/tests/e2e/lib.sh"
setup=$(readlink -f "${1:?usage: windows-setup.sh PRAATKIST-SETUP.EXE PRAATKIST.EXE}")
program=$(readlink -f "${2:?usage: windows-setup.sh PRAATKIST-SETUP.EXE PRAATKIST.EXE}")
[ -n "${WINEPREFIX:-}" ] || { echo "FAIL: no WINEPREFIX"; exit 1; }
# no menu entries or desktop files of the host for the shortcuts the setup makes
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:+$WINEDLLOVERRIDES;}winemenubuilder.exe=d"

key='Software\Microsoft\Windows\CurrentVersion\Uninstall\Praatkist'
scratch=$(mktemp -d /tmp/praatkist-setup.XXXXXX)
t_start=$(date +%s%N)
step() { printf -- '-- %5.1f s  %s\n' "$((($(date +%s%N) - t_start) / 1000000))e-3" "$*"; }

winpath() { wine cmd /c echo "$1" </dev/null 2>/dev/null | tr -d '\r'; }
unixpath() { winepath -u "$1" 2>/dev/null; }
# the data of value NAME of the entry under HIVE (HKLM or HKCU); empty when absent
entry() { # HIVE NAME
  wine reg query "$1\\$key" /v "$2" </dev/null 2>/dev/null | tr -d '\r' |
    awk -v name="$2" '$1 == name { sub(/^ *[^ ]+ +[^ ]+ +/, ""); print; exit }'
}
has_entry() { wine reg query "$1\\$key" </dev/null >/dev/null 2>&1; }
no_entry() { ! has_entry "$1"; }

# Starts the silent uninstall that the entry under HIVE names ("C:\...\Uninstall.exe"
# and its options), as the list of installed programs does. The uninstaller copies
# itself away and returns at once; the entry goes last.
start_uninstall() { # HIVE
  local quiet exe
  quiet=$(entry "$1" QuietUninstallString)
  [ -n "$quiet" ] || return 1
  exe=${quiet#\"}
  exe=${exe%%\"*}
  # shellcheck disable=SC2086 # the options, one word each
  wine "$exe" ${quiet#*\" } </dev/null >>"$scratch/setup.log" 2>&1
}
uninstall() { # HIVE
  start_uninstall "$1" || fail "the uninstall named in $1 failed: $(entry "$1" QuietUninstallString)"
  check "the uninstaller did not remove the entry in $1" e2e_poll 60 no_entry "$1"
}

cleanup() {
  local rc=$? hive
  set +e
  for hive in HKLM HKCU; do
    if has_entry $hive && start_uninstall $hive; then
      e2e_poll 60 no_entry $hive
    fi
  done
  [ $rc -eq 0 ] || { echo "--- setup output"; tail -20 "$scratch/setup.log" 2>/dev/null; }
  rm -rf "$scratch"
  return $rc
}
trap cleanup EXIT

programs=$(unixpath "$(winpath '%ProgramW6432%')")
start_all=$(unixpath "$(winpath '%ProgramData%')")/Microsoft/Windows/Start\ Menu/Programs
start_me=$(unixpath "$(winpath '%APPDATA%')")/Microsoft/Windows/Start\ Menu/Programs
desktop_all=$(unixpath "$(winpath '%PUBLIC%')")/Desktop
appdata=$(unixpath "$(winpath '%APPDATA%')")
version=$(strings -el "$program" | grep -A1 -x FileVersion | tail -1)
[ -n "$version" ] || fail "no version in the record of $program"
installed=$programs/Praatkist
for hive in HKLM HKCU; do
  ! has_entry $hive || fail "Praatkist is installed already ($hive)"
done
# the shortcut's target path is in the link in the system's code page and in UTF-16
links_to() { # LINK TARGET-WINDOWS-PATH
  local text
  text=$(strings "$1"; strings -el "$1")
  grep -qiF "$2" <<<"$text"
}

step "1. silent install for all users"
wine "$setup" /S </dev/null >>"$scratch/setup.log" 2>&1 || fail "the silent install failed ($?)"
for f in Praatkist.exe Uninstall.exe licenses/Praatkist-LICENSE.txt; do
  [ -s "$installed/$f" ] || fail "not installed: $f"
done
cmp -s "$program" "$installed/Praatkist.exe" || fail "the installed program is not the one built"
[ "$(entry HKLM DisplayName)" = Praatkist ] || fail "DisplayName: $(entry HKLM DisplayName)"
[ "$(entry HKLM DisplayVersion)" = "$version" ] ||
  fail "DisplayVersion $(entry HKLM DisplayVersion), the program is $version"
[ "$(entry HKLM Publisher)" = Praatkist ] || fail "Publisher: $(entry HKLM Publisher)"
pf=$(winpath '%ProgramW6432%')\\Praatkist
[ "$(entry HKLM DisplayIcon)" = "$pf\\Praatkist.exe,0" ] || fail "DisplayIcon: $(entry HKLM DisplayIcon)"
[ "$(entry HKLM InstallLocation)" = "$pf" ] || fail "InstallLocation: $(entry HKLM InstallLocation)"
[ "$(entry HKLM UninstallString)" = "\"$pf\\Uninstall.exe\" /ALLUSERS" ] ||
  fail "UninstallString: $(entry HKLM UninstallString)"
size_kb=$(($(entry HKLM EstimatedSize)))
[ "$size_kb" -ge $(($(stat -c %s "$program") / 1024)) ] || fail "EstimatedSize $size_kb KB"
no_entry HKCU || fail "an entry for the current user too"
[ -f "$start_all/Praatkist.lnk" ] || fail "no Start menu shortcut"
links_to "$start_all/Praatkist.lnk" "$pf\\Praatkist.exe" || fail "the shortcut does not start $pf\\Praatkist.exe"
[ ! -e "$desktop_all/Praatkist.lnk" ] || fail "a desktop shortcut nobody asked for"

step "2. the installed program records its takes"
bash "$root/tests/e2e/windows-session.sh" --installed "$installed/Praatkist.exe" "$scratch/sessions"
takes=("$scratch"/sessions/Proef/Proef-1.wav "$scratch"/sessions/Proef/Proef-{1,2}.mp3)
ini=$appdata/Praatkist/Praatkist.ini
for f in "${takes[@]}" "$ini"; do [ -s "$f" ] || fail "missing after the run: $f"; done
cp "$ini" "$scratch/settings.ini"
sha256sum "${takes[@]}" >"$scratch/takes.sha256"

step "3. the setup over an older install, with /DESKTOP"
printf 'an older Praatkist.exe' >"$installed/Praatkist.exe"
wine reg add "HKLM\\$key" /v DisplayVersion /d 0.0.0.1 /f </dev/null >/dev/null 2>&1
wine "$setup" /S /DESKTOP </dev/null >>"$scratch/setup.log" 2>&1 || fail "the upgrade failed ($?)"
cmp -s "$program" "$installed/Praatkist.exe" || fail "the program was not upgraded"
[ "$(entry HKLM DisplayVersion)" = "$version" ] || fail "DisplayVersion after the upgrade: $(entry HKLM DisplayVersion)"
[ "$(entry HKLM InstallLocation)" = "$pf" ] || fail "upgraded elsewhere: $(entry HKLM InstallLocation)"
[ -f "$desktop_all/Praatkist.lnk" ] || fail "no desktop shortcut with /DESKTOP"
links_to "$desktop_all/Praatkist.lnk" "$pf\\Praatkist.exe" || fail "the desktop shortcut does not start the program"
sha256sum -c --quiet "$scratch/takes.sha256" || fail "the upgrade changed a take"
cmp -s "$ini" "$scratch/settings.ini" || fail "the upgrade changed the settings"

step "4. silent uninstall"
uninstall HKLM
[ ! -e "$installed" ] || fail "left in Program Files: $(ls -A "$installed")"
[ ! -e "$start_all/Praatkist.lnk" ] || fail "the Start menu shortcut was left"
[ ! -e "$desktop_all/Praatkist.lnk" ] || fail "the desktop shortcut was left"
sha256sum -c --quiet "$scratch/takes.sha256" || fail "a take went with the program"
cmp -s "$ini" "$scratch/settings.ini" || fail "the settings went with the program"

step "5. for the current user alone, into a folder of the user's choice"
mine='C:\Praatkist-eigen'
wine "$setup" /S /CURRENTUSER "/D=$mine" </dev/null >>"$scratch/setup.log" 2>&1 || fail "the user's install failed"
own=$(unixpath "$mine")
cmp -s "$program" "$own/Praatkist.exe" || fail "not installed in $mine"
[ "$(entry HKCU InstallLocation)" = "$mine" ] || fail "the user's InstallLocation: $(entry HKCU InstallLocation)"
no_entry HKLM || fail "an entry for all users"
[ -f "$start_me/Praatkist.lnk" ] || fail "no shortcut in the user's Start menu"
[ ! -e "$start_all/Praatkist.lnk" ] || fail "a shortcut in the Start menu of all users"
printf 'an older Praatkist.exe' >"$own/Praatkist.exe"
wine "$setup" /S </dev/null >>"$scratch/setup.log" 2>&1 || fail "the user's upgrade failed"
cmp -s "$program" "$own/Praatkist.exe" || fail "the user's install was not upgraded in place"
[ ! -e "$installed" ] || fail "the upgrade went to Program Files instead"
no_entry HKLM || fail "the upgrade made an entry for all users"
uninstall HKCU
[ ! -e "$own" ] || fail "left in $mine: $(ls -A "$own")"
[ ! -e "$start_me/Praatkist.lnk" ] || fail "the user's Start menu shortcut was left"
step "done"
