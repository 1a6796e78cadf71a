// Cancelling a run: the close box during a transfer asks whether to delete
// the file being written (yes here), the run stops with its message and the
// rows not fetched read cancelled. Deleting the row being fetched in an
// earlier part of the run removes its partial file and goes on with the
// next row. After the run the close button closes the dialog. The server
// holds each file part-way, so each stays in transfer until the page acts.
var DN = "취소 다운로드";
openFourDownloads(DN);
page.press(DN, 228);
// A file is in transfer once its row says so and its own bytes are counted
// (the labels of the one before stay until its row is set).
function inTransfer(name) {
    return function () {
        return page.text(DN, 222) === name && page.listText(DN, 219, 0, 1) === "전송중" && page.text(DN, 230) !== "0Byte";
    };
}
waitUntil("a.bin in transfer", inTransfer("a.bin"), deleteCurrent);

// The first row, as the user clicks it, then the delete button.
function deleteCurrent() {
    page.click(DN, 60, 346);
    page.press(DN, 245);
    waitUntil("b.bin in transfer", inTransfer("b.bin"), closeBox);
}

function closeBox() {
    check("the deleted row is gone", page.listText(DN, 219, 0, 0), "b.bin");
    check("rows left", page.listText(DN, 219, 3, 0), "");
    // The close box during the run cancels it.
    page.sysCommand(DN, 0xF060);
    whenWindow("Download Cancel", 65535, function (caption) {
        check("delete question", page.text(caption, 65535), "현재 다운로드중인 파일을 삭제 하시겠습니까?");
        page.press(caption, 6);
        waitUntil("the cancel message", function () {
            return page.text("Download Cancel", 65535) === "다운로드가 취소 되었습니다.";
        }, cancelled);
    });
}

function cancelled() {
    check("dialog still open during the message", page.text(DN, 0), DN);
    page.press("Download Cancel", 1);
    waitUntil("the end of the run", function () { return page.text(DN, 227) === "종 료"; }, function () {
        var rows = [];
        for (var i = 0; i < 3; i++) rows.push(page.listText(DN, 219, i, 0) + ":" + page.listText(DN, 219, i, 1));
        check("rows after the cancel", rows.join(","), "b.bin:취 소,c.bin:취 소,d.bin:취 소");
        page.press(DN, 227);
        waitUntil("the dialog closed", function () { return page.text(DN, 0) === ""; }, finish);
    });
}
