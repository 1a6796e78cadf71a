// A download cut short in the dialog: the row reads "재시도" while the retry
// waits (its reply held by the server until the page has looked), the rest
// comes and the labels end exact. Then a cancel answered "No" keeps the
// part, and the next run, after the same-file prompt, goes on with it; a
// cancel answered "Yes" leaves nothing. The runner cuts the first request
// after 150 KiB and holds the head of the retry; it checks the files and
// the Range of the requests in the server's record.
var DN = "이어받기 다운로드";
var SAME = "Download Same File";
var up = page.create("PARVEX.ParvexUpCtrl.1", 10, 10, 520, 180);
up.SetDownHostUrl(SERVER + "/");
up.SetDnTitle(DN);

function fetchOne(name) {
    check("queued " + name, up.AddDownloadFile("/r.bin", name, 409600, 1), 0);
    up.DownloadStart();
    page.press(DN, 228);
}

// The run's end: the row and both byte counters, then the dialog closed.
function ended(what, row, bytes, next) {
    waitUntil(what + ": the run's end", function () { return page.text(DN, 227) === "종 료"; }, function () {
        check(what + ": row", page.listText(DN, 219, 0, 1), row);
        check(what + ": file bytes", page.text(DN, 230), bytes);
        check(what + ": run bytes", page.text(DN, 229), bytes);
        page.press(DN, 227);
        waitUntil(what + ": the dialog closed", function () { return page.text(DN, 0) === ""; }, next);
    });
}

fetchOne("r.bin");
// The row reads so from the cut until the retry's reply comes, which the
// server holds until the release below.
waitUntil("the retry", function () { return page.listText(DN, 219, 0, 1) === "재시도"; }, function () {
    check("bytes before the retry", page.text(DN, 230), "150.00KB");
    check("retry shot", page.screenshot(DN, SCREENS + "\\dialog-retry.png"), true);
    page.get(SERVER + "/__release");
    ended("the cut download", "완 료", "400.00KB", cancelKeeping);
});

// The server holds the file after 100 KiB: the cancel comes part-way.
function cancelPartWay(name, answer, next) {
    page.get(SERVER + "/__fault?hold=102400&target=download&count=1");
    fetchOne(name);
    waitUntil(name + " held part-way", function () {
        return page.listText(DN, 219, 0, 1) === "전송중" && page.text(DN, 230) === "100.00KB";
    }, function () {
        page.sysCommand(DN, 0xF060);
        whenWindow("Download Cancel", 65535, function (caption) {
            check("delete question", page.text(caption, 65535), "현재 다운로드중인 파일을 삭제 하시겠습니까?");
            page.press(caption, answer);
            waitUntil("the cancel message", function () {
                return page.text("Download Cancel", 65535) === "다운로드가 취소 되었습니다.";
            }, function () {
                page.press("Download Cancel", 1);
                ended(name + " cancelled", "취 소", "100.00KB", next);
            });
        });
    });
}

function cancelKeeping() {
    cancelPartWay("k.bin", 7, resumeKept);
}

// The kept part holds the name: the prompt first, then the rest only.
function resumeKept() {
    fetchOne("k.bin");
    whenWindow(SAME, 235, function () {
        check("prompt name", page.text(SAME, 235), "k.bin");
        page.press(SAME, 239);
        ended("the kept part gone on with", "완 료", "400.00KB", function () {
            cancelPartWay("y.bin", 6, finish);
        });
    });
}
