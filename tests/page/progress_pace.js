// The dialogs keep moving on a slow link and stop soon on a fast one. The
// server paces the first upload and the first download at 200 KB/s (1 MiB
// each, about five seconds): the byte counters read by the page while they
// run must take at least seven different values, as they do when they move
// about every half second (every other wake of the sender gave five). Then, at full speed, a cancel must end each run
// (512 MiB files, so that the cancel comes first): the page records how long
// after the press the run answered.
var UP = "Pace Upload";
var DN = "Pace Download";
var up = uploadControl(UP);
up.SetLimitUploadSize(1024);
up.SetDownHostUrl(SERVER + "/");
up.SetDnTitle(DN);

// Records every different text of control id in the window captioned
// caption until stop() is called; "계산중", "..." and "0Byte" are no counts.
function recordTexts(caption, id) {
    var rec = {seen: {}, list: [], on: true};
    function poll() {
        if (!rec.on) return;
        var text = page.text(caption, id);
        if (text !== "" && text !== "계산중" && text !== "..." && text !== "0Byte" && !rec.seen[text]) {
            rec.seen[text] = true;
            rec.list.push(text);
        }
        page.setTimeout(poll, 50);
    }
    page.setTimeout(poll, 0);
    rec.stop = function (what) {
        rec.on = false;
        page.log(what + ": " + rec.list.join(", "));
        check(what + ": at least seven counts", rec.list.length >= 7, true);
    };
    return rec;
}

// Milliseconds since a moment the page took.
function since(start) { return new Date().getTime() - start; }
// A run answers a cancel at full speed within a second (the page's own polls
// add up to 50 ms): a longer wait means it was not looked at every block.
var CANCEL_BOUND_MS = 1000;

// 1. The slow upload.
page.dropFiles(up, FILES + "\\slow-up.bin");
var sent = recordTexts(UP, 210);
check("slow upload", uploadWith(up, []), 1);
sent.stop("upload counts");

// 2. The slow download, then 3. and 4. at full speed.
up.AddDownloadFile("/slow-dn.bin", "slow-dn.bin", 1048576, 1);
up.DownloadStart();
page.press(DN, 228);
var received = recordTexts(DN, 230);
waitUntil("the slow download's end", function () { return page.text(DN, 227) === "종 료"; }, function () {
    received.stop("download counts");
    check("slow download row", page.listText(DN, 219, 0, 1), "완 료");
    page.press(DN, 227);
    waitUntil("the dialog closed", function () { return page.text(DN, 0) === ""; }, fastUpload);
});

function fastUpload() {
    page.dropFiles(up, FILES + "\\fast-up.bin");
    var pressed = 0, answered = 0;
    var result = uploadWith(up, [
        {caption: UP, when: shows(204, "fast-up.bin"), act: function (caption) {
            page.press(caption, 213);
            pressed = new Date().getTime();
        }},
        {caption: "알림", when: shows(65535, "업로드가 취소되었습니다."), act: function (caption) {
            answered = since(pressed);
            page.press(caption, 1);
        }}
    ]);
    page.log("upload cancel answered after " + answered + " ms");
    check("cancelled upload", result, 0);
    check("upload cancel in time", answered > 0 && answered < CANCEL_BOUND_MS, true);
    fastDownload();
}

function fastDownload() {
    // Held part-way, so that the cancel surely comes while the body is on its
    // way (a cancel before the reply's head asks nothing), and released as
    // the cancel is pressed, so that it lands while the bytes flow at full speed.
    page.get(SERVER + "/__fault?hold=67108864&target=download&count=1");
    up.AddDownloadFile("/fast-dn.bin", "fast-dn.bin", 536870912, 1);
    up.DownloadStart();
    page.press(DN, 228);
    // Held is a state the server keeps; the bar then shows the bytes that
    // came within its interval, and keeps showing them.
    waitUntil("the fast download held part-way", function () {
        var bar = page.text(DN, 220);
        return page.get(SERVER + "/__held") === "held=1" && bar !== "" && bar !== "0";
    }, function () {
        page.get(SERVER + "/__release");
        page.press(DN, 227);
        var pressed = new Date().getTime();
        whenWindow("Download Cancel", 65535, function (caption) {
            var answered = since(pressed);
            page.log("download cancel answered after " + answered + " ms");
            check("delete question", page.text(caption, 65535), "현재 다운로드중인 파일을 삭제 하시겠습니까?");
            check("download cancel in time", answered < CANCEL_BOUND_MS, true);
            page.press(caption, 6);
            waitUntil("the cancel message", function () {
                return page.text("Download Cancel", 65535) === "다운로드가 취소 되었습니다.";
            }, function () {
                page.press("Download Cancel", 1);
                waitUntil("the end of the run", function () { return page.text(DN, 227) === "종 료"; }, function () {
                    check("cancelled row", page.listText(DN, 219, 0, 1), "취 소");
                    page.press(DN, 227);
                    finish();
                });
            });
        });
    });
}
