# The Wine scenarios of tests/win/packages.sh, one function each, each run
# in a fresh copy of the warmed-up prefix. The first leaves the rows
# DllRegisterServer writes for the machine's install folder in
# $WORK/regsvr32.rows, which the others compare with. Sourced after
# wine_helpers.sh; packages.sh sets PKG, HIGHER and fail.

machine_msi() {
    msiexec_quietly /i "$PKG/parvex-machine.msi" || fail "machine MSI: msiexec /i failed"
    [ -f "$(machine_folder)/PARVEX/PARVEX.OCX" ] || fail "machine MSI: no module in Program Files"
    export_hives "$WORK/machine-msi"
    added_rows "$WORK/machine-msi" lm >"$WORK/machine-msi.rows"
    create_controls "machine MSI"
    msiexec_quietly /x "$PKG/parvex-machine.msi" || fail "machine MSI: msiexec /x failed"
    export_hives "$WORK/machine-msi-removed"
    same_hives "machine MSI removed" "$WORK/machine-msi-removed"
    folder_gone "machine MSI removed" "$(machine_folder)"

    # The same file in the same folder, registering itself.
    mkdir -p "$(machine_folder)/PARVEX" && cp "$PKG/PARVEX.OCX" "$(machine_folder)/PARVEX/"
    timeout 60 wine regsvr32 /s "$MACHINE_DIR\\PARVEX.OCX" || fail "regsvr32 failed"
    export_hives "$WORK/regsvr32"
    added_rows "$WORK/regsvr32" lm >"$WORK/regsvr32.rows"
    same_lines "the machine MSI's rows against DllRegisterServer's" "$WORK/regsvr32.rows" "$WORK/machine-msi.rows"
}

planted_row() {
    msiexec_quietly /i "$WORK/planted.msi" || fail "planted row: msiexec /i failed"
    export_hives "$WORK/planted"
    added_rows "$WORK/planted" lm >"$WORK/planted.rows"
    [ -s "$WORK/planted.rows" ] || fail "planted row: the MSI wrote no rows"
    ! cmp -s "$WORK/regsvr32.rows" "$WORK/planted.rows" || fail "an MSI with a row planted wrong passes the comparison"
}

user_msi() {
    local module folder
    msiexec_quietly /i "$PKG/parvex-user.msi" || fail "user MSI: msiexec /i failed"
    module=$(find "$WINEPREFIX/drive_c/users" -path '*/Orvanta Component/PARVEX/PARVEX.OCX' | head -n 1)
    [ -n "$module" ] || { fail "user MSI: no module in the user's folders"; return; }
    folder=$(win "${module%/PARVEX.OCX}")
    export_hives "$WORK/user-msi"
    # Only Windows Installer's own records of the install go to the machine.
    changed "$WORK/before.lm" "$WORK/user-msi.lm" |
        grep -vE '^\+ HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\(Installer|Uninstall)\\' \
        >"$WORK/user-msi.machine"
    same_lines "user MSI: the machine's hive" /dev/null "$WORK/user-msi.machine"
    folder_as_word "$MACHINE_DIR" <"$WORK/regsvr32.rows" >"$WORK/expected.rows"
    added_rows "$WORK/user-msi" cu | folder_as_word "$folder" >"$WORK/user-msi.rows"
    same_lines "user MSI: its rows against DllRegisterServer's" "$WORK/expected.rows" "$WORK/user-msi.rows"

    mirror_user_classes || fail "user MSI: the rows could not be copied into the machine's classes"
    create_controls "user MSI"
    unmirror_user_classes "$WORK/user-msi.rows" || fail "user MSI: the copy could not be removed"
    msiexec_quietly /x "$PKG/parvex-user.msi" || fail "user MSI: msiexec /x failed"
    export_hives "$WORK/user-msi-removed"
    same_hives "user MSI removed" "$WORK/user-msi-removed"
    folder_gone "user MSI removed" "${module%/PARVEX/PARVEX.OCX}"
}

user_registration() {
    mkdir -p "$(machine_folder)/PARVEX" && cp "$PKG/PARVEX.OCX" "$(machine_folder)/PARVEX/"
    timeout 60 wine regsvr32 /s /n /i:user "$MACHINE_DIR\\PARVEX.OCX" || fail "regsvr32 /n /i:user failed"
    export_hives "$WORK/user-registered"
    same_lines "regsvr32 /n /i:user: the machine's hive" "$WORK/before.lm" "$WORK/user-registered.lm"
    added_rows "$WORK/user-registered" cu >"$WORK/user-registered.rows"
    same_lines "regsvr32 /n /i:user: its rows against DllRegisterServer's" "$WORK/regsvr32.rows" \
        "$WORK/user-registered.rows"
    timeout 60 wine regsvr32 /s /u /n /i:user "$MACHINE_DIR\\PARVEX.OCX" || fail "regsvr32 /u /n /i:user failed"
    export_hives "$WORK/user-unregistered"
    same_hives "regsvr32 /u /n /i:user" "$WORK/user-unregistered"
}

advpack_machine() {
    mkdir -p "$WINEPREFIX/drive_c/download" && cp "$PKG/PARVEX.CAB" "$WINEPREFIX/drive_c/download/"
    inf_command advpack.dll,LaunchINFSectionEx 'PARVEX.INF,DefaultInstall,C:\download\PARVEX.CAB,4' ||
        fail "advpack: DefaultInstall failed"
    [ -f "$(machine_folder)/PARVEX/PARVEX.OCX" ] || fail "advpack: no module in Program Files"
    create_controls "advpack"
    remove_machine_inf_install "advpack"
}

setupapi_machine() {
    mkdir -p "$WINEPREFIX/drive_c/download" && gcab -x -C "$WINEPREFIX/drive_c/download" "$PKG/PARVEX.CAB" >/dev/null
    inf_command setupapi.dll,InstallHinfSection 'DefaultInstall 128 C:\download\PARVEX.INF' ||
        fail "setupapi: DefaultInstall failed"
    [ -f "$(machine_folder)/PARVEX/PARVEX.OCX" ] || fail "setupapi: no module in Program Files"
    create_controls "setupapi"
    remove_machine_inf_install "setupapi"
}

remove_machine_inf_install() {  # WHAT
    inf_command advpack.dll,LaunchINFSectionEx "$MACHINE_DIR\\PARVEX.INF,DefaultUninstall,,4" ||
        fail "$1: DefaultUninstall failed"
    export_hives "$WORK/$1-removed"
    expect_only_kept "$1 removed" "$WORK/$1-removed"
    folder_gone "$1 removed" "$(machine_folder)"
}

advpack_user() {
    local folder
    mkdir -p "$WINEPREFIX/drive_c/download" && cp "$PKG/PARVEX.CAB" "$WINEPREFIX/drive_c/download/"
    inf_command advpack.dll,LaunchINFSectionEx 'PARVEX.INF,UserInstall,C:\download\PARVEX.CAB,4' ||
        fail "advpack per user: UserInstall failed"
    folder=$(find "$WINEPREFIX/drive_c/users" -path '*/Orvanta Component/PARVEX/PARVEX.OCX' | head -n 1)
    [ -n "$folder" ] || { fail "advpack per user: no module in the user's folders"; return; }
    folder=$(win "${folder%/PARVEX.OCX}")
    export_hives "$WORK/advpack-user"
    same_lines "advpack per user: the machine's hive" "$WORK/before.lm" "$WORK/advpack-user.lm"
    added_rows "$WORK/advpack-user" cu | folder_as_word "$folder" >"$WORK/advpack-user.rows"
    same_lines "advpack per user: its rows against DllRegisterServer's" "$WORK/expected.rows" "$WORK/advpack-user.rows"
    inf_command advpack.dll,LaunchINFSectionEx "$folder\\PARVEX.INF,UserUninstall,,4" ||
        fail "advpack per user: UserUninstall failed"
    export_hives "$WORK/advpack-user-removed"
    same_hives "advpack per user removed" "$WORK/advpack-user-removed"
}

upgrade() {
    local modules products
    msiexec_quietly /i "$PKG/parvex-machine.msi" || fail "upgrade: msiexec /i of this version failed"
    msiexec_quietly /i "$WORK/higher/packages/parvex-machine.msi" || fail "upgrade: msiexec /i of $HIGHER failed"
    modules=$(find "$WINEPREFIX/drive_c" -iname PARVEX.OCX)
    [ "$(printf '%s\n' "$modules" | grep -c .)" = 1 ] || fail "upgrade: modules installed: $modules"
    [ "$(file_version "$modules")" = "${HIGHER//./,}" ] || fail "upgrade: the module is not $HIGHER's"
    export_hives "$WORK/upgraded"
    products=$(grep -c '^HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\.*"DisplayName"="Parvex' \
        "$WORK/upgraded.lm")
    [ "$products" = 1 ] || fail "upgrade: $products products registered"
    added_rows "$WORK/upgraded" lm >"$WORK/upgraded.rows"
    same_lines "upgrade: the rows against DllRegisterServer's" "$WORK/regsvr32.rows" "$WORK/upgraded.rows"
}

# ALLOWEDSITES writes the site lock's entries into the settings key, for the
# machine or the user as the package installs; removing the package takes
# the value back, and nothing else of the key.
site_lock_msi() {
    local scope root value
    for scope in machine user; do
        root=HKLM
        [ "$scope" = user ] && root=HKCU
        msiexec_quietly /i "$PKG/parvex-$scope.msi" 'ALLOWEDSITES=https://mail.example.com;https://*.example.org' ||
            fail "site lock ($scope): msiexec /i failed"
        value=$(wine reg query "$root\\SOFTWARE\\Orvanta Component" /v AllowedSites 2>/dev/null | tr -d '\r' |
            awk '$1 == "AllowedSites" { print $2, $3 }')
        [ "$value" = "REG_MULTI_SZ https://mail.example.com;https://*.example.org" ] ||
            fail "site lock ($scope): AllowedSites is [$value]"
        msiexec_quietly /x "$PKG/parvex-$scope.msi" || fail "site lock ($scope): msiexec /x failed"
        export_hives "$WORK/site-lock-$scope-removed"
        same_hives "site lock ($scope) removed" "$WORK/site-lock-$scope-removed"
    done
}
