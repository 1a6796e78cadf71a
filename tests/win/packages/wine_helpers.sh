# What the Wine scenarios of tests/win/packages.sh share: running installers
# quietly, creating the controls, comparing hives with the warmed-up
# prefix's ($WORK/before.lm and .cu). Sourced; packages.sh sets HERE, WORK
# and fail.

MACHINE_DIR='C:\Program Files\Orvanta Component\PARVEX'
UP_CLSID='{1fedba90-4a67-4996-b858-0f06b5378b43}'

win() { winepath -w "$1" 2>/dev/null; }
machine_folder() { echo "$WINEPREFIX/drive_c/Program Files/Orvanta Component"; }
# msiexec_quietly /i|/x MSI [PROPERTY=VALUE...]
msiexec_quietly() { timeout 120 wine msiexec "$1" "$(win "$2")" "${@:3}" /qn >/dev/null 2>&1; }
# inf_command ENTRY LINE: rundll32 with LINE reaching the entry unquoted, as
# advpack and setupapi need an INF path with blanks in it.
inf_command() {
    local words
    read -ra words <<<"$2"
    timeout 120 wine rundll32 "$1" "${words[@]}" >/dev/null 2>&1
}
create_controls() {
    timeout 120 wine cscript //nologo "$(win "$HERE/packages/create_controls.js")" ||
        fail "$1: the controls were not created"
}

same_lines() {  # WHAT EXPECTED GOT
    local difference
    difference=$(diff "$2" "$3" | head -n 8)
    [ -z "$difference" ] || fail "$1:"$'\n'"$difference"
}
same_hives() { same_lines "$1 (HKLM)" "$WORK/before.lm" "$2.lm"; same_lines "$1 (HKCU)" "$WORK/before.cu" "$2.cu"; }
added_rows() { added "$WORK/before.$2" "$1.$2" | classes_rows; }  # NAME lm|cu
folder_gone() { [ ! -e "$2" ] || fail "$1: $2 is still there"; }

# kept_rows: of the rows (stdin), those DllUnregisterServer leaves on purpose:
# the categories, the upload control's marks and the key that holds them.
kept_rows() {
    UP="clsid\\$UP_CLSID" awk '{ up = ENVIRON["UP"] }
        index($0, "component categories\\") == 1 || $0 == up || index($0, up "\\implemented categories") == 1'
}

# expect_only_kept WHAT NAME: NAME's hives are the base's and what
# DllUnregisterServer keeps.
expect_only_kept() {
    local other
    other=$(changed "$WORK/before.lm" "$2.lm" | grep -v '^+ HKEY_LOCAL_MACHINE\\Software\\Classes\\' | head -n 4)
    [ -z "$other" ] || fail "$1 changed the machine's hive:"$'\n'"$other"
    kept_rows <"$WORK/regsvr32.rows" >"$2.kept"
    added_rows "$2" lm >"$2.rows"
    same_lines "$1 left" "$2.kept" "$2.rows"
    same_lines "$1 (HKCU)" "$WORK/before.cu" "$2.cu"
}

# The user's classes copied into the machine's, as Windows merges them, and
# that copy removed again, key by key of ROWS.
mirror_user_classes() {
    local reg="$WORK/mirror.reg"
    wine reg export 'HKCU\Software\Classes' "$(win "$reg")" /y >/dev/null 2>&1 || return 1
    iconv -f UTF-16LE -t UTF-8 "$reg" |
        sed 's/^\[HKEY_CURRENT_USER\\Software\\Classes/[HKEY_LOCAL_MACHINE\\Software\\Classes/' |
        iconv -f UTF-8 -t UTF-16LE >"$reg.machine"
    wine reg import "$(win "$reg.machine")" >/dev/null 2>&1
}
unmirror_user_classes() {  # ROWS
    local reg="$WORK/unmirror.reg"
    { printf '\xff\xfe' && printf 'Windows Registry Editor Version 5.00\r\n\r\n' | iconv -t UTF-16LE &&
        cut -f1 "$1" | awk -F'\\' '{ k = $1; if (NF > 1 && k ~ /^(clsid|interface|typelib|component categories)$/) k = k "\\" $2; print k }' |
        sort -u | sed 's/^/[-HKEY_LOCAL_MACHINE\\Software\\Classes\\/; s/$/]\r\n/' | iconv -t UTF-16LE; } >"$reg"
    wine reg import "$(win "$reg")" >/dev/null 2>&1
}
