// Files already in the save folder, settled through the real prompts: a.bin
// renamed to a2.bin (after a name that is taken too), b.bin overwritten,
// c.bin left as it was; d.bin has no conflict. Enter does not end the
// prompt. The summary names the skipped file.
var DN = "충돌 다운로드";
var SAME = "Download Same File";
openFourDownloads(DN);
page.press(DN, 228);

whenWindow(SAME, 235, function () {
    check("prompt name", page.text(SAME, 235), "a.bin");
    check("prompt size", page.text(SAME, 237), "400000");
    check("prompt shot", page.screenshot(SAME, SCREENS + "\\conflict-prompt.png"), true);
    // Enter chooses nothing: the rename pressed right behind it, handled
    // after it, still finds the prompt and opens the name dialog.
    page.press(SAME, 1);
    whenWindow("Change Filename", 242, renameTaken);
    page.press(SAME, 240);
});

// First a name that exists as well: the conflict message, then the name
// dialog again.
function renameTaken(caption) {
    check("name proposed", page.text(caption, 242), "a.bin");
    page.setText(caption, 242, "c.bin");
    page.press(caption, 1);
    whenWindow("파일명변경", 65535, function (box) {
        check("taken name message", page.text(box, 65535), "파일명이 존재합니다. 다른 파일명으로 변경해주세요.");
        page.press(box, 1);
        whenWindow("Change Filename", 242, function (again) {
            page.setText(again, 242, "a2.bin");
            page.press(again, 1);
            waitUntil("the prompt for b.bin", function () { return page.text(SAME, 235) === "b.bin"; }, overwrite);
        });
    });
}

function overwrite() {
    page.press(SAME, 239);
    waitUntil("the prompt for c.bin", function () { return page.text(SAME, 235) === "c.bin"; }, function () {
        page.press(SAME, 241);
        whenWindow("Download Complete Infomation", 65535, summary);
    });
}

function summary(caption) {
    check("summary", page.text(caption, 65535), "c.bin -> User Cancel\r\n");
    page.press(caption, 1);
    waitUntil("the end of the run", function () { return page.text(DN, 227) === "종 료"; }, function () {
        var rows = [];
        for (var i = 0; i < 4; i++) rows.push(page.listText(DN, 219, i, 1));
        check("rows after the run", rows.join(","), "완 료,완 료,취 소,완 료");
        page.press(DN, 227);
        waitUntil("the dialog closed", function () { return page.text(DN, 0) === ""; }, finish);
    });
}
