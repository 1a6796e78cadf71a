// Cancel by the button and by the close box: the cancel notice, 0, and the
// file after it never sent (the test runner looks). The server holds every
// upload part-way until the cancel, and answers every exists check with
// "there". The button pressed while the same-file prompt holds the worker
// shows the cancelling line, which stays until the prompt is answered; the
// run then stops before the file goes out. The close box during a transfer
// leaves the dialog and its status line as they are; the run ends at once.
var TITLE = "Tamsel Upload";
var CANCELLING = "* 업로드 취소중입니다.";
var up = uploadControl(TITLE);

function notice(shot) {
    return {caption: "알림", when: shows(65535, "업로드가 취소되었습니다."), act: function (caption) {
        if (shot) check("notice shot", page.screenshot(caption, SCREENS + "\\upload-cancelled.png"), true);
        page.press(caption, 1);
    }};
}

up.UploadExistUrl(SERVER + "/exists");
page.dropFiles(up, FILES + "\\c-button.bin|" + FILES + "\\after-button.txt");
check("cancel button", uploadWith(up, [
    {caption: "Upload Same File", when: shows(250, "c-button.bin"), act: function () { page.press(TITLE, 213); }},
    {caption: TITLE, when: shows(267, CANCELLING), act: function () { page.press("Upload Same File", 253); }},
    notice(true)
]), 0);

up.UploadExistUrl("");
page.dropFiles(up, FILES + "\\c-box.bin|" + FILES + "\\after-box.txt");
check("close box", uploadWith(up, [
    {caption: TITLE, when: shows(204, "c-box.bin"), act: function (caption) {
        check("close box pressed", page.close(caption), true);
        check("dialog still open", page.text(caption, 0), caption);
        check("status line kept", page.text(caption, 267), "");
    }},
    notice(false)
]), 0);
check("list emptied", up.TotalUploadCount(), 0);
finish();
