#!/usr/bin/env bash
# regsvr32 registers PARVEX.OCX with everything a page needs to create its
# controls, and unregistering removes the classes and the type library while
# the safety categories and the upload control's marks stay.
set -u
BUILD=${1:?usage: regsvr32.sh <build/win dir>}
OCX=$(winepath -w "$BUILD/PARVEX.OCX")
UP='{1FEDBA90-4A67-4996-B858-0F06B5378B43}'
DN='{E076B573-24D0-4ADC-87B5-C21E3E2331D3}'
LIB='{C7AA3191-5F82-4D1D-A6DE-EA5E506A2B76}'
SCRIPTING='{7DD95801-9882-11CF-9FA9-00AA006C42C4}'
INITIALISING='{7DD95802-9882-11CF-9FA9-00AA006C42C4}'
failures=0

query() {  # succeeds only when the key (and value) exists
    local out
    out=$(wine reg query "$@" 2>/dev/null) || return 1
    printf '%s\n' "$out" | tr -d '\r'
}
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
expect_value() {  # key, value name or "", expected text
    local key=$1 name=$2 want=$3 got
    if [ -z "$name" ]; then got=$(query "$key" /ve); else got=$(query "$key" /v "$name"); fi
    printf '%s\n' "$got" | grep -qF -- "$want" || fail "$key ${name:-(default)} should hold '$want', has: $got"
}
expect_key() { query "$1" >/dev/null || fail "missing key $1"; }
expect_no_key() { ! query "$1" >/dev/null || fail "key $1 should be gone"; }

wine regsvr32 /s "$OCX" || fail "regsvr32 returned $?"

for spec in "$UP|PARVEX.ParvexUpCtrl.1|Parvex_Up Control|1" "$DN|PARVEX.ParvexDnCtrl.1|Parvex_Dn Control|2"; do
    IFS='|' read -r clsid progid name bitmap <<<"$spec"
    key="HKCR\\CLSID\\$clsid"
    expect_value "$key" "" "$name"
    expect_value "$key\\ProgID" "" "$progid"
    expect_value "HKCR\\$progid" "" "$name"
    expect_value "HKCR\\$progid\\CLSID" "" "$clsid"
    expect_value "$key\\InprocServer32" "" "PARVEX.OCX"
    expect_value "$key\\InprocServer32" ThreadingModel "Apartment"
    expect_key "$key\\Control"
    expect_value "$key\\ToolboxBitmap32" "" "PARVEX.OCX, $bitmap"
    expect_value "$key\\MiscStatus\\1" "" "131473"
    expect_value "$key\\TypeLib" "" "$LIB"
    expect_value "$key\\Version" "" "1.0"
done
expect_value "HKCR\\TypeLib\\$LIB\\1.0" "" "Parvex ActiveX Control module"
expect_value "HKCR\\Component Categories\\$SCRIPTING" 409 "Controls that are safely scriptable"
expect_value "HKCR\\Component Categories\\$INITIALISING" 409 "Controls safely initializable from persistent data"
expect_key "HKCR\\CLSID\\$UP\\Implemented Categories\\$SCRIPTING"
expect_key "HKCR\\CLSID\\$UP\\Implemented Categories\\$INITIALISING"
expect_no_key "HKCR\\CLSID\\$DN\\Implemented Categories"

wine regsvr32 /u /s "$OCX" || fail "regsvr32 /u returned $?"

expect_no_key "HKCR\\PARVEX.ParvexUpCtrl.1"
expect_no_key "HKCR\\PARVEX.ParvexDnCtrl.1"
expect_no_key "HKCR\\CLSID\\$UP\\InprocServer32"
expect_no_key "HKCR\\CLSID\\$DN"
expect_no_key "HKCR\\TypeLib\\$LIB\\1.0"
expect_key "HKCR\\Component Categories\\$SCRIPTING"
expect_key "HKCR\\Component Categories\\$INITIALISING"
expect_key "HKCR\\CLSID\\$UP\\Implemented Categories\\$SCRIPTING"

if [ "$failures" -gt 0 ]; then
    echo "$failures registry check(s) failed"
    exit 1
fi
echo "registration checks passed"
