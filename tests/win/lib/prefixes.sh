# Wine prefixes for the package tests: one made and warmed up once, then a
# fresh copy of it for each test, so that every install starts from the same
# registry and the same files. Sourced after hives.sh.
#
# The copy links the builtin libraries and programs, nine tenths of a prefix,
# to the first one's (nothing the tests run writes into them) and copies the
# rest: the registry, the profiles and the settings files change in place.

PREFIX_BASE=""

# make_base_prefix DIR WARMUP_WXS: a new prefix in DIR/base, warmed up, and
# its hives as DIR/before.lm and DIR/before.cu.
make_base_prefix() {
    local dir=$1 wxs=$2 scope
    PREFIX_BASE="$dir/base"
    rm -rf "$PREFIX_BASE" && mkdir -p "$dir/warmup"
    export WINEPREFIX="$PREFIX_BASE"
    WINEDLLOVERRIDES="mscoree=;mshtml=" wineboot --init >/dev/null 2>&1 || return 1
    # Hidden windows wait for a window manager there is none of.
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
    # Windows Installer and the script host make keys of their own the first
    # time they run; a prefix that has run both stands for a used Windows.
    echo note >"$dir/warmup/warmup.txt"
    for scope in perMachine perUser; do
        (cd "$dir/warmup" && wixl -a x86 -D Scope=$scope -o "$scope.msi" "$wxs") || return 1
        wine msiexec /i "$(winepath -w "$dir/warmup/$scope.msi")" /qn >/dev/null 2>&1 || return 1
        wine msiexec /x "$(winepath -w "$dir/warmup/$scope.msi")" /qn >/dev/null 2>&1 || return 1
    done
    echo 'WScript.Quit(0);' >"$dir/warmup/nothing.js"
    wine cscript //nologo "$(winepath -w "$dir/warmup/nothing.js")" >/dev/null 2>&1
    export_hives "$dir/before" || return 1
    wineserver -k
    wineserver -w
}

# new_prefix DIR: a fresh copy of the base prefix in DIR, made WINEPREFIX.
new_prefix() {
    local shared=(drive_c/windows/system32 drive_c/windows/winsxs) path excluded=()
    rm -rf "$1" && mkdir -p "$1/drive_c/windows" || return 1
    for path in "${shared[@]}"; do excluded+=(--exclude="./$path"); done
    tar -C "$PREFIX_BASE" "${excluded[@]}" -cf - . | tar -C "$1" -xf - || return 1
    for path in "${shared[@]}"; do cp -al "$PREFIX_BASE/$path" "$1/$path" || return 1; done
    export WINEPREFIX="$1"
}

# end_prefix: stops the current prefix's server and removes the prefix.
end_prefix() {
    wineserver -k 2>/dev/null
    wineserver -w 2>/dev/null
    rm -rf "$WINEPREFIX"
}
