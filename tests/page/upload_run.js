// Files dropped on the list go up with the progress dialog under the page's
// title and arrive whole (the test runner compares them). While the dialog
// is up the page's timer tries to change the list and the settings, and
// presses Enter and Escape: none of it has any effect on the run. The
// server holds the big file part-way until the page lets it go on.
var TITLE = "첨부 올리기";
var up = uploadControl(TITLE);
page.dropFiles(up, FILES + "\\run-big.bin|" + FILES + "\\진행 파일.txt");
// Already on the server: its row shows the list window's picture for it.
up.AttachFileFromMail("메일 첨부.hwp", "m0", 2048);
check("count before the run", up.TotalUploadCount(), 3);
// Every row ticked by the header's box: DeleteFile would now clear the list.
page.click(up, 8, 8);

function duringTheRun(caption) {
    check("speed shown", /^[0-9.]+[KMG]B$/.test(page.text(caption, 208)), true);
    check("progress shot", page.screenshot(caption, SCREENS + "\\upload-progress.png"), true);
    check("Enter", page.key(caption, 213, 13), true);
    check("Escape", page.key(caption, 213, 27), true);
    page.key(caption, 0, 27);
    up.DeleteFile();
    page.dropFiles(up, FILES + "\\dropped-during.txt");
    up.AttachFileFromMail("mail.eml", "m1", 10);
    up.SetUseType(1);
    up.SetLimitUploadSize(0);
    up.UploadUrlAddress("http://127.0.0.1:1/nowhere");
    check("a second UploadStart", up.UploadStart(0), 0);
    check("count during the run", up.TotalUploadCount(), 3);
    check("info during the run", up.GetUpFileInfo().split("|:|").length, 3);
    page.get(SERVER + "/__release");
}

var result = uploadWith(up, [{
    caption: TITLE,
    when: function (caption) { return page.text(caption, 208) !== "계산중"; },
    act: duringTheRun
}]);
check("result", result, 1);
check("count after the run", up.TotalUploadCount(), 0);
check("total after the run", up.GetTotalUpSize(), 0);
// The limit and the address are the page's again: a drop is admitted.
page.dropFiles(up, FILES + "\\after.txt");
check("count after a later drop", up.TotalUploadCount(), 1);
finish();
