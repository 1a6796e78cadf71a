// Cancel during a transfer, by the button and by the close box: the cancel
// notice, 0, and the file after it never sent (the test runner looks). The
// close box leaves the dialog and its status line as they are; the run
// ends at its next block.
var TITLE = "Tamsel Upload";
var CANCELLING = "* 업로드 취소중입니다.";
var up = uploadControl(TITLE);

function notice(shot) {
    return {caption: "알림", when: shows(65535, "업로드가 취소되었습니다."), act: function (caption) {
        if (shot) check("notice shot", page.screenshot(caption, SCREENS + "\\upload-cancelled.png"), true);
        page.press(caption, 1);
    }};
}

page.dropFiles(up, FILES + "\\c-button.bin|" + FILES + "\\after-button.txt");
check("cancel button", uploadWith(up, [
    {caption: TITLE, when: shows(204, "c-button.bin"), act: function (caption) { page.press(caption, 213); }},
    {caption: TITLE, when: shows(267, CANCELLING)},
    notice(true)
]), 0);

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
