# The page part of ./parvex demo, sourced by ./parvex (it uses its display,
# Wine and mail-server functions): docs/sample-page.js in parvex-page.exe
# against the reference mail server, then what the server stored and what
# the download dialog saved, compared with the originals. Pictures of every
# window the page showed go to build/demo/.

DEMO_STEPS=()  # "ok|name" or "FAILED|name", in order; a step's pictures on a line below its name
demo_step() { DEMO_STEPS+=("$1|$2"); }

demo_files() {  # folder: the files the page drops
    local f=$1
    mkdir -p "$f/사진"
    printf 'Hello from PARVEX.\n' >"$f/hello.txt"
    printf '회의록: 다음 주 월요일 10시.\n' >"$f/회의록 초안.txt"
    printf 'MZ' >"$f/setup.exe"
    head -c 3000000 /dev/urandom >"$f/photo.jpg"
    head -c 3000 /dev/urandom >"$f/사진/바다.jpg"
    head -c 5000 /dev/urandom >"$f/사진/산.jpg"
    head -c 1000 /dev/urandom >"$f/refused.zip"
}

# Faults of the demo's server: every upload after the first five is refused
# with 413, so the sixth, refused.zip, is the one. A later /__fault call wins
# over an earlier one while its count lasts.
demo_faults() {
    local base="http://127.0.0.1:$MAILSERVER_PORT/__fault"
    curl -fs "$base?status=413%20Request%20Entity%20Too%20Large&body=file%20too%20large%3Cbr%20/%3E" >/dev/null &&
        curl -fs "$base?status=200%20OK&body=%7CTS_UP_OK%7C&count=5" >/dev/null
}

demo_compare() {  # what, file, original
    if [ -f "$2" ] && cmp -s "$2" "$3"; then return 0; fi
    echo "  $1: $(basename "$2") is missing or differs from the original"
    return 1
}

demo_check_results() {  # files folder, save folder
    local files=$1 save=$2 store=$MAILSERVER_STORE ok=ok
    [ "$(cat "$store/hello.txt")" = "already on the server" ] || { echo "  the server's hello.txt changed"; ok=FAILED; }
    demo_compare stored "$store/hello-2.txt" "$files/hello.txt" || ok=FAILED
    for name in "회의록 초안.txt" photo.jpg "사진/바다.jpg" "사진/산.jpg"; do
        demo_compare stored "$store/$name" "$files/$name" || ok=FAILED
    done
    [ -e "$store/setup.exe" ] && { echo "  the filtered setup.exe reached the server"; ok=FAILED; }
    demo_step "$ok" "the server stored the accepted files intact"

    ok=ok
    demo_compare saved "$save/hello-2.txt" "$files/hello.txt" || ok=FAILED
    demo_compare saved "$save/회의록 초안.txt" "$files/회의록 초안.txt" || ok=FAILED
    demo_compare saved "$save/photo.jpg" "$files/photo.jpg" || ok=FAILED
    demo_compare saved "$save/바다.jpg" "$files/사진/바다.jpg" || ok=FAILED
    [ "$(ls -A "$save" | wc -l)" = 4 ] || { echo "  the save folder holds: $(ls -A "$save" | tr '\n' ' ')"; ok=FAILED; }
    demo_step "$ok" "the download dialog saved the files intact"
}

run_page_demo() {
    local shots="$BUILD/demo" work files save page ocx code
    rm -rf "$shots" && mkdir -p "$shots"
    work=$(mktemp -d "${TMPDIR:-/tmp}/parvex-page-demo.XXXXXX")
    files="$work/files" save="$work/save" page="$work/page.js"
    demo_files "$files"
    mkdir -p "$save"
    printf 'an old copy of the minutes\n' >"$save/회의록 초안.txt"

    if [ -z "${DISPLAY:-}" ]; then start_display || { demo_step FAILED "a virtual display"; return 1; }; fi
    start_wine || { demo_step FAILED "the Wine prefix"; return 1; }
    start_mailserver || { demo_step FAILED "the reference mail server"; return 1; }
    printf 'already on the server' >"$MAILSERVER_STORE/hello.txt"
    demo_faults || { demo_step FAILED "the server's faults"; return 1; }
    ocx=$(winepath -w "$BUILD/win/PARVEX.OCX" 2>/dev/null)
    wine regsvr32 /s "$ocx" || { demo_step FAILED "regsvr32 PARVEX.OCX"; return 1; }
    wine reg add 'HKLM\SOFTWARE\Orvanta Component' /v DownSavePath /d "$(winepath -w "$save")" /f >/dev/null 2>&1

    {
        printf 'var SERVER = "http://127.0.0.1:%s";\n' "$MAILSERVER_PORT"
        printf 'var FILES = "%s";\n' "$(winepath -w "$files" | sed 's/\\/\\\\/g')"
        printf 'var SHOTS = "%s";\n' "$(winepath -w "$shots" | sed 's/\\/\\\\/g')"
        cat "$ROOT/docs/sample-page.js"
    } >"$page"
    say "the sample page in parvex-page.exe (docs/sample-page.js), server on port $MAILSERVER_PORT"
    timeout 300 wine "$BUILD/win/parvex-page.exe" "$(winepath -w "$page")" >"$work/page.out" 2>"$work/page.err"
    code=$?
    tr -d '\r' <"$work/page.out" | tee "$work/steps"
    sed 's/^/  /' "$work/page.err"
    while IFS= read -r line; do
        case "$line" in
            "STEP "*": ok") line=${line#STEP }; demo_step ok "${line%: ok}" ;;
            "STEP "*) demo_step FAILED "${line#STEP }" ;;
            # The pictures of the step just logged, by their file names.
            "PICTURES "*) DEMO_STEPS[${#DEMO_STEPS[@]} - 1]+=$'\n'"          pictures: ${line#PICTURES }" ;;
        esac
    done <"$work/steps"
    [ "$code" = 0 ] || demo_step FAILED "the page ended with exit code $code"
    [ "$(grep -c '^STEP ' "$work/steps")" = 8 ] || demo_step FAILED "the page did not reach all of its 8 steps"
    demo_check_results "$files" "$save"
    wine regsvr32 /u /s "$ocx" >/dev/null 2>&1
    rm -rf "$work"
}

demo_summary() {  # prints the steps; fails when one failed
    local entry failed=0
    say "summary"
    for entry in "${DEMO_STEPS[@]}"; do
        printf '  %-7s %s\n' "${entry%%|*}" "${entry#*|}"
        [ "${entry%%|*}" = ok ] || failed=1
    done
    echo "  the pictures named above are in $BUILD/demo/ ($(ls "$BUILD/demo" 2>/dev/null | wc -l) files)"
    return "$failed"
}
