// The download dialog's totals and counters when a run ends otherwise than
// by fetching everything. First a.bin, b.bin and c.bin are in the save
// folder: "apply to all" with cancel skips all three, d.bin (20000 bytes)
// is fetched, and the run ends with the total and the done bytes at d.bin's
// size and a full bar. Then a throttled download cancelled while it moves,
// the partial file kept: the counters read what the kept file holds. The
// server sends every download at 200 KB/s.
var DN = "표시 다운로드";
var SAME = "Download Same File";
var up = openFourDownloads(DN);
page.press(DN, 228);

whenWindow(SAME, 235, function () {
    check("first prompt", page.text(SAME, 235), "a.bin");
    page.press(SAME, 238);
    page.press(SAME, 241);
    whenWindow("Download Complete Infomation", 65535, function (summary) {
        page.press(summary, 1);
        waitUntil("the end of the run", function () { return page.text(DN, 227) === "종 료"; }, function () {
            check("total after three skips", page.text(DN, 224), " / 19.53KB");
            check("done after three skips", page.text(DN, 229), "19.53KB");
            check("run bar after three skips", page.text(DN, 226), "100");
            page.press(DN, 227);
            waitUntil("the dialog closed", function () { return page.text(DN, 0) === ""; }, cancelMoving);
        });
    });
});

// A size label read back in bytes, with the half of its last digit that
// rounding may have taken.
function labelBytes(text) {
    var units = {KB: 1024, MB: 1048576, GB: 1073741824};
    var unit = units[text.slice(-2)];
    return unit ? {bytes: parseFloat(text) * unit, slack: 0.005 * unit} : null;
}
function tells(label, bytes) {
    var shown = labelBytes(label);
    return shown !== null && Math.abs(shown.bytes - bytes) <= shown.slack + 0.5;
}

function cancelMoving() {
    up.AddDownloadFile("/a.bin", "kept.bin", 400000, 1);
    up.DownloadStart();
    page.press(DN, 228);
    waitUntil("kept.bin moving", function () {
        var bytes = labelBytes(page.text(DN, 230));
        return page.listText(DN, 219, 0, 1) === "전송중" && bytes !== null && bytes.bytes > 0;
    }, function () {
        // Into the half second after the counters moved, while bytes come.
        page.setTimeout(cancel, 300);
    });
    function cancel() {
        page.press(DN, 227);
        whenWindow("Download Cancel", 65535, function (caption) {
            page.press(caption, 7);
            waitUntil("the cancel message", function () {
                return page.text("Download Cancel", 65535) === "다운로드가 취소 되었습니다.";
            }, function () {
                page.press("Download Cancel", 1);
                waitUntil("the end of the run", function () { return page.text(DN, 227) === "종 료"; }, kept);
            });
        });
    }
}

function kept() {
    var size = page.fileSize(SAVE_FOLDER + "\\kept.bin");
    var file = page.text(DN, 230), done = page.text(DN, 229);
    page.log("kept " + size + " bytes; counters " + file + ", " + done);
    check("a partial file kept", size > 0 && size < 400000, true);
    check("file counter tells the kept bytes", tells(file, size), true);
    check("run counter tells the kept bytes", tells(done, size), true);
    page.press(DN, 227);
    waitUntil("the dialog closed", function () { return page.text(DN, 0) === ""; }, finish);
}
