#!/usr/bin/env bash
# The Windows installer made from BUILD, run silently under Wine in a fresh prefix of its own:
#   - with two After Effects versions registered as After Effects registers itself (and a third
#     whose folder is gone), an install over an older version puts FXAA.aex into both versions'
#     Corvella folders, nothing into the common MediaCore folder, the OpenFX bundle into Common
#     Files, the program folder's files where fxaa.exe runs from, its folder on the system PATH,
#     removes the older version's files, and leaves one Uninstall entry; the version whose
#     folder is gone is named as skipped, and why, on standard output and in install.log;
#   - the quiet uninstall command removes all of it and keeps the After Effects folders, a file a
#     user put beside FXAA.aex, and the PATH as it was;
#   - with system PATHs of 1,000, 1,020 and 2,000 characters (longer than the installer's own
#     strings once the folder is added), installing with the PATH option appends the folder and
#     uninstalling takes it out, every other character and the value's type kept; a PATH that is
#     not text is left alone, and the installer says so; /NOAFTEREFFECTS and /NOOPENFX leave
#     those components out;
#   - with no After Effects registered, into a folder named with accents, the tool and the bundle
#     are installed, fxaa.exe runs from there, and the installer says, on standard output and in
#     install.log (UTF-8), why FXAA.aex was not placed.
# Usage: installer_test.sh WORKDIR BUILD
set -uo pipefail
# Names with accents travel between Linux and Wine in the locale's character set.
export LC_ALL=C.UTF-8
root=$(cd "$(dirname "$0")/../.." && pwd)
work=${1:?usage: installer_test.sh WORKDIR BUILD}
build=$(cd "${2:?usage: installer_test.sh WORKDIR BUILD}" && pwd)
rm -rf "$work"
mkdir -p "$work"
work=$(cd "$work" && pwd)

export WINEPREFIX="$work/prefix" WINEARCH=win64 WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
unset DISPLAY   # silent installs open no window
boot_pid=
stop_wine() {
  [[ -n "$boot_pid" ]] && kill "$boot_pid" 2>/dev/null
  wineserver -k 2>/dev/null
}
trap stop_wine EXIT
# A fresh prefix takes several seconds: made while the installers are built.
(timeout 120 wineboot --init >/dev/null 2>&1; timeout 60 wineserver -w) &
boot_pid=$!

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
older=0.9.0
stage="$work/stage"
"$root/scripts/windows-stage.sh" "$build" "$stage" "$version" || exit 1
# The older version installed a file this one does not: an upgrade must not leave it behind.
cp -a "$stage" "$work/stage-$older"
echo "older" >"$work/stage-$older/docs/older.md"
"$root/scripts/windows-installer.sh" "$work/stage-$older" "$older" "$work/setup-$older.exe" \
  "$build" >/dev/null || exit 1
"$root/scripts/windows-installer.sh" "$stage" "$version" "$work/setup-$version.exe" "$build" \
  >/dev/null || exit 1
wait "$boot_pid" || { echo "FAIL the Wine prefix could not be made"; exit 1; }
boot_pid=

c="$WINEPREFIX/drive_c"
inst="$c/Program Files/Corvella/FXAA"
ofx="$c/Program Files/Common Files/OFX"
adobe="$c/Program Files/Adobe"
ae23="$adobe/Adobe After Effects 2023/Support Files/Plug-ins"
ae24="$adobe/Adobe After Effects 2024/Support Files/Plug-ins"
mediacore="$adobe/Common/Plug-ins/7.0/MediaCore"
uninstall_key='Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall'
env_key='System\\CurrentControlSet\\Control\\Session Manager\\Environment'

passed=0 failed=0
check() {   # check NAME COMMAND...: runs one check and prints its verdict and what it said
  local name=$1 out
  shift
  if out=$("$@" 2>&1); then passed=$((passed + 1)); echo "ok   $name"
  else failed=$((failed + 1)); echo "FAIL $name"; fi
  [[ -z "$out" ]] || sed 's/^/     /' <<<"$out"
}
# A program under Wine; returns once every process it started (an uninstaller's copy of itself)
# has ended and the registry is saved.
run() {
  local rc
  timeout --kill-after=10 120 wine "$@"
  rc=$?
  timeout 60 wineserver -w
  return $rc
}
# The value lines of registry KEY (below HKLM, as Wine's system.reg writes it) and its subkeys.
# Wine 10 keeps CurrentControlSet as a link to ControlSet001, where the values are written.
reg_lines() {
  local key
  key="[$(tr '[:upper:]' '[:lower:]' <<<"$1")"
  KEY=$key KEY001=${key/currentcontrolset/controlset001} awk '
    function under(k) { return index(tolower($0), k "]") == 1 || index(tolower($0), k "\\\\") == 1 }
    /^\[/ { on = under(ENVIRON["KEY"]) || under(ENVIRON["KEY001"]) }
    on && /^"/' "$WINEPREFIX/system.reg"
}
system_path() { reg_lines "$env_key" | sed -n 's/^"PATH"=str(2):"\(.*\)"$/\1/Ip'; }
# The PATH's whole line in system.reg: its type (str(2): for REG_EXPAND_SZ) and escaped value.
path_line() { reg_lines "$env_key" | grep -i '^"PATH"='; }
corvella_entries() { reg_lines "$uninstall_key" | grep -c '^"Publisher"="Corvella"$'; }
same_files() {   # same_files FROM TO [EXCLUDED]: every file below FROM is in TO, byte for byte
  local f bad=0
  while IFS= read -r f; do
    cmp -s "$1/$f" "$2/$f" || { echo "$2/$f is missing or differs"; bad=1; }
  done < <(cd "$1" && find . ${3:+-path "./$3" -prune -o} -type f -print)
  return $bad
}
none_named() {   # none_named DIR PATTERN: no file below DIR has a name matching PATTERN
  local found
  found=$(find "$1" -iname "$2" 2>/dev/null)
  [[ -z "$found" ]] || { echo "$found"; false; }
}
absent() { [[ ! -e "$1" ]] || { echo "$1 is still there"; false; }; }

# After Effects' own registration: each version's plug-in folder in the 64-bit view, one with a
# final backslash; 2022's folder is gone, as after an uninstall that left its key.
mkdir -p "$ae23/Corvella" "$ae24" "$mediacore"
echo "a user's plug-in" >"$ae23/Corvella/Other.aex"
ae_reg() {
  printf 'Windows Registry Editor Version 5.00\r\n\r\n'
  local v folder adobe='C:\\Program Files\\Adobe\\'
  for v in 22.0:2022 23.0:2023 24.0:2024; do
    folder="${adobe}Adobe After Effects ${v#*:}\\\\Support Files\\\\Plug-ins"
    [[ $v == 23.0:* ]] && folder+='\\'
    printf '[HKEY_LOCAL_MACHINE\\SOFTWARE\\Adobe\\After Effects\\%s]\r\n' "${v%%:*}"
    printf '"PluginInstallPath"="%s"\r\n' "$folder"
    printf '"CommonPluginInstallPath"="%s"\r\n\r\n' \
      "${adobe}Common\\\\Plug-ins\\\\7.0\\\\MediaCore\\\\"
  done
}
ae_reg >"$c/ae.reg"
run regedit /S 'C:\ae.reg'
path_before=$(system_path)

# The checks, each a function of what it looks at.
installs() {   # installs SETUP OUTPUT [OPTIONS]: a silent install that succeeds
  local setup=$1 output=$2
  shift 2
  run "$setup" /S "$@" >"$output" 2>&1 || { cat "$output"; false; }
}
older_installed() {
  installs "$work/setup-$older.exe" "$work/older.out" && [[ -f "$inst/docs/older.md" ]]
}
aex_in_each_version() {
  cmp "$stage/FXAA.aex" "$ae23/Corvella/FXAA.aex" && cmp "$stage/FXAA.aex" "$ae24/Corvella/FXAA.aex"
}
tool_runs() {   # tool_runs FOLDER: fxaa.exe there runs, and loads the plug-in beside it
  local out
  out=$(cd "$1" && timeout 120 wine fxaa.exe --version && timeout 120 wine fxaa.exe info) &&
    [[ $out == "fxaa $version"* && $out == *"FXAA.aex"*"FXAA v$version"* ]] || { echo "$out"; false; }
}
one_entry_of_this_version() {
  local entry v
  [[ $(corvella_entries) == 1 ]] || { reg_lines "$uninstall_key"; return 1; }
  entry=$(reg_lines "$uninstall_key\\\\Corvella FXAA")
  for v in DisplayName DisplayVersion Publisher UninstallString QuietUninstallString \
           InstallLocation EstimatedSize; do
    grep -q "^\"$v\"=" <<<"$entry" || { echo "no $v in: $entry"; return 1; }
  done
  grep -qx "\"DisplayVersion\"=\"$version\"" <<<"$entry" || { echo "$entry"; return 1; }
}
path_is() { [[ $(system_path) == "$1" ]] || { echo "PATH: $(system_path), expected $1"; false; }; }
aex_gone_user_file_kept() {
  [[ ! -e "$ae23/Corvella/FXAA.aex" && ! -e "$ae24/Corvella" && -d "$ae24" &&
     -f "$ae23/Corvella/Other.aex" ]] || { ls -R "$ae23" "$ae24"; false; }
}
no_entry() { [[ $(corvella_entries) == 0 ]]; }
tool_and_bundle_installed() {   # tool_and_bundle_installed FOLDER
  [[ -f "$1/fxaa.exe" && -f "$1/FXAA.aex" && -d "$ofx/Plugins/FXAA.ofx.bundle" ]]
}
# A PATH of LENGTH characters: START, tools' folders, then END.
long_path() {   # long_path LENGTH START END
  local value=$2 i=0 rest
  while ((${#value} + ${#3} + 40 < $1)); do value+="C:\\Tools\\Vendor$((++i))\\bin;"; done
  rest=$(($1 - ${#value} - ${#3} - 5))
  value+="C:\\P$(printf '%*s' "$rest" '' | tr ' ' x);$3"
  echo "$value"
}
set_path() {   # set_path TYPE VALUE
  run reg add 'HKLM\System\CurrentControlSet\Control\Session Manager\Environment' /v PATH \
    /t "$1" /d "$2" /f >/dev/null
}
line_is() { [[ $(path_line) == "$1" ]] || { echo "PATH: $(path_line)"; echo "expected $1"; false; }; }
left_out() {   # neither FXAA.aex nor the bundle was placed, and the log says so
  [[ ! -e "$ae23/Corvella/FXAA.aex" && ! -e "$ae24/Corvella" && ! -e "$ofx" ]] ||
    { ls -R "$ae23" "$ae24" "$ofx"; return 1; }
  said_and_logged "$work/path-1000.out" "$inst/install.log" \
    "The After Effects plug-in was left out, as asked"
}
said_and_logged() {   # said_and_logged OUTPUT LOG TEXT: TEXT on the installer's output and in its log
  grep -qF "$3" "$1" && grep -qF "$3" "$2" || { echo "no \"$3\" in:"; cat "$1" "$2"; false; }
}

check "the older version installs" older_installed
check "this version installs over it" \
  installs "$work/setup-$version.exe" "$work/install.out" /ADDTOPATH
check "FXAA.aex is in each registered version's Corvella folder" aex_in_each_version
check "nothing is put into the common MediaCore folder" none_named "$adobe/Common" 'FXAA*'
check "a version whose folder is gone gets none made" absent "$adobe/Adobe After Effects 2022"
check "the program folder holds every staged file" same_files "$stage" "$inst" openfx
check "the OpenFX bundle is in Common Files" \
  same_files "$stage/openfx/FXAA.ofx.bundle" "$ofx/Plugins/FXAA.ofx.bundle"
check "fxaa.exe runs from the program folder" tool_runs "$inst"
check "one Uninstall entry, of this version, after an upgrade" one_entry_of_this_version
check "an upgrade removes what only the older version installed" absent "$inst/docs/older.md"
check "the program folder is added to the system PATH" \
  path_is "$path_before;C:\\\\Program Files\\\\Corvella\\\\FXAA"
check "the version whose folder is gone is named as skipped, and why" \
  said_and_logged "$work/install.out" "$inst/install.log" \
  "After Effects 2022 was skipped: its plug-in folder C:\Program Files\Adobe\Adobe After Effects 2022\Support Files\Plug-ins does not exist"

# The quiet uninstall command as Apps & Features and deployment tools read it.
quiet=$(reg_lines "$uninstall_key\\\\Corvella FXAA" |
        sed -n 's/^"QuietUninstallString"="\(.*\)"$/\1/p')
quiet=${quiet//\\\\/\\}
quiet=${quiet//\\\"/\"}
[[ $quiet =~ ^\"([^\"]+)\"\ (.*)$ ]] ||
  { echo "FAIL no quiet uninstall command: $quiet"; failed=$((failed + 1)); }
run "${BASH_REMATCH[1]:-uninstall.exe}" ${BASH_REMATCH[2]:-} >"$work/uninstall.out"
check "uninstalling removes FXAA.aex from each version, keeping a user's file" \
  aex_gone_user_file_kept
check "uninstalling removes the OpenFX bundle" absent "$ofx"
check "uninstalling removes the program folder" absent "$c/Program Files/Corvella"
check "uninstalling removes the Uninstall entry" no_entry
check "uninstalling gives the PATH back as it was" path_is "$path_before"

# PATHs longer than the installer's strings hold once the folder is added: every other character,
# and the value's type, stay as they were. The components left out make these installs quicker.
folder='C:\Program Files\Corvella\FXAA'
escaped=${folder//\\/\\\\}
original_line=$(path_line)
for length in 1000 1020 2000; do
  case $length in
    1000) type=REG_EXPAND_SZ value=$(long_path 1000 '%SystemRoot%\system32;%SystemRoot%;C:\Narzędzia\bin;' 'C:\Tools\last') ;;
    1020) type=REG_SZ value=$(long_path 1020 'C:\windows\system32;;' 'C:\Tools\last;') ;;
    2000) type=REG_EXPAND_SZ value=$(long_path 2000 '%SystemRoot%\system32;' 'C:\Herramientas Ñ\bin') ;;
  esac
  ((${#value} == length)) || { echo "FAIL the test's PATH is ${#value} characters"; failed=$((failed + 1)); }
  set_path "$type" "$value"
  before=$(path_line)
  if [[ $value == *\; ]]; then installed="${before%\"}$escaped;\""; else installed="${before%\"};$escaped\""; fi
  check "a $length-character PATH: the install succeeds" \
    installs "$work/setup-$version.exe" "$work/path-$length.out" /ADDTOPATH /NOAFTEREFFECTS /NOOPENFX
  check "a $length-character PATH gets the folder added, the rest and its type kept" line_is "$installed"
  [[ $length == 1000 ]] && check "/NOAFTEREFFECTS and /NOOPENFX leave those out, and say so" left_out
  run "$inst/uninstall.exe" /S >"$work/path-$length-uninstall.out"
  check "a $length-character PATH is as it was after the uninstall" line_is "$before"
done

# A PATH that is not text cannot be edited safely: it stays, and the installer says so.
set_path REG_MULTI_SZ 'C:\windows\system32\0C:\Tools'
before=$(path_line)
check "a PATH that is not text: the install succeeds" \
  installs "$work/setup-$version.exe" "$work/path-multi.out" /ADDTOPATH /NOAFTEREFFECTS /NOOPENFX
check "a PATH that is not text is left as it was, and the installer says so" \
  said_and_logged "$work/path-multi.out" "$inst/install.log" \
  "The system PATH was left unchanged: the PATH is not a plain text value. Add $folder to it by hand."
check "a PATH that is not text is not changed" line_is "$before"
run "$inst/uninstall.exe" /S
check "a PATH that is not text is not changed by the uninstall either" line_is "$before"
original=$(sed -n 's/^"PATH"=str(2):"\(.*\)"$/\1/Ip' <<<"$original_line")
set_path REG_EXPAND_SZ "${original//\\\\/\\}"

# No After Effects, and a program folder named with accents.
printf 'Windows Registry Editor Version 5.00\r\n\r\n[-%s]\r\n' \
  'HKEY_LOCAL_MACHINE\SOFTWARE\Adobe\After Effects' >"$c/ae.reg"
run regedit /S 'C:\ae.reg'
accented="$c/users/Public/José Müller/FXAA"
# /D= takes the rest of the command line unquoted, as typed at a prompt: through cmd (Wine quotes
# an argument holding a space).
cp "$work/setup-$version.exe" "$c/setup.exe"
typed_install() { run cmd /c "$1" >"$2" 2>&1 || { cat "$2"; false; }; }
check "without After Effects, into a folder named with accents, the install succeeds" \
  typed_install 'C:\setup.exe /S /D=C:\users\Public\José Müller\FXAA' "$work/no-ae.out"
check "without After Effects the tool and the bundle are installed" \
  tool_and_bundle_installed "$accented"
check "fxaa.exe runs from a folder named with accents" tool_runs "$accented"
check "without After Effects no plug-in folder gets FXAA.aex" none_named "$adobe" FXAA.aex
check "without After Effects the silent install says why, on its output and in its log" \
  said_and_logged "$work/no-ae.out" "$accented/install.log" "No After Effects version was found"
check "install.log and the output name the folder in UTF-8" \
  said_and_logged "$work/no-ae.out" "$accented/install.log" \
  "FXAA $version installed in C:\users\Public\José Müller\FXAA"
run "$accented/uninstall.exe" /S
check "the second uninstall leaves nothing either" absent "$accented"

echo "$passed passed, $failed failed"
# A failed run's prefix stays for a look; a passed one's (about 700 MB) goes.
if ((failed == 0)); then
  wineserver -k 2>/dev/null
  rm -rf "$WINEPREFIX"
fi
((failed == 0))
