# The registry of a Wine prefix as sorted text, to compare what an install,
# an uninstall or a registration did. Sourced by the package tests.
#
# A flattened hive has one line per key ("KEY") and one per value
# ("KEY<TAB>NAME=DATA"), sorted, so that two of them compare with comm.

# Keys Wine rewrites whenever a prefix starts, or a window opens: the
# devices' (display adapter, monitor), the network cards', the count of
# services started and the session's system colours.
HIVES_VOLATILE='^HKEY_LOCAL_MACHINE\\(System\\CurrentControlSet\\Control\\(Video|Class|ServiceCurrent)|Software\\Microsoft\\Windows NT\\CurrentVersion\\NetworkCards)|^HKEY_CURRENT_USER\\Software\\Wine\\Temporary System Parameters'

# flatten_export REG: a file of `wine reg export` as flattened lines.
flatten_export() {
    iconv -f UTF-16LE -t UTF-8 "$1" | tr -d '\r' | awk '
        function flush() { if (value != "") print key "\t" value; value = "" }
        /^\[/ { flush(); key = substr($0, 2, length($0) - 2); print key; next }
        joining { sub(/^ +/, ""); value = value $0; joining = /\\$/; if (joining) sub(/\\$/, "", value); next }
        /^("|@)/ { flush(); value = $0; joining = /\\$/; if (joining) sub(/\\$/, "", value); next }
        END { flush() }' | grep -Ev "$HIVES_VOLATILE" | LC_ALL=C sort
}

# export_hives NAME: both hives of the running prefix as NAME.lm and NAME.cu
# (flattened).
export_hives() {
    local hive tmp
    tmp=$(mktemp --suffix=.reg)
    for hive in lm cu; do
        if [ "$hive" = lm ]; then wine reg export HKLM "$(winepath -w "$tmp")" /y >/dev/null 2>&1
        else wine reg export HKCU "$(winepath -w "$tmp")" /y >/dev/null 2>&1; fi || { rm -f "$tmp"; return 1; }
        flatten_export "$tmp" >"$1.$hive"
    done
    rm -f "$tmp"
}

# added BEFORE AFTER: the lines AFTER has and BEFORE has not.
added() { LC_ALL=C comm -13 "$1" "$2"; }
# changed BEFORE AFTER: every line only one of them has, marked - or +.
changed() { LC_ALL=C comm -3 "$1" "$2" | sed 's/^\t/+ /; /^+ /!s/^/- /'; }

# classes_rows: the lines of a hive's Software\Classes (stdin) as rows that
# do not depend on the hive: the root cut off, key names in lower case (the
# registry ignores their case), folder paths without a closing backslash,
# without the keys every class shares, which the user's hive may lack, and
# without Windows Installer's records of what it installed.
classes_rows() {
    sed -nE 's/^HKEY_(LOCAL_MACHINE|CURRENT_USER)\\Software\\Classes\\//p' |
        awk -F'\t' '{ k = tolower($1); v = $2; sub(/\\\\"$/, "\"", v); print (NF > 1 ? k "\t" v : k) }' |
        grep -vxE 'clsid|interface|typelib|component categories' | grep -vE '^installer(\\|$)' | LC_ALL=C sort
}

# folder_as_word FOLDER: the rows (stdin) with FOLDER, a Windows path as an
# export spells it, replaced by <FOLDER>, to compare rows of two folders.
folder_as_word() {
    FOLDER=${1//\\/\\\\} awk '{ f = ENVIRON["FOLDER"]
        while ((i = index($0, f)) > 0) $0 = substr($0, 1, i - 1) "<FOLDER>" substr($0, i + length(f))
        print }'
}
