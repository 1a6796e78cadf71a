// A listed file deleted before the run: skipped, or the upload cancelled.
var TITLE = "Tamsel Upload";
var up = uploadControl(TITLE);

page.dropFiles(up, FILES + "\\gone-skip.txt|" + FILES + "\\kept-skip.txt");
check("file removed", page.removeFile(FILES + "\\gone-skip.txt"), true);
check("skipped", uploadWith(up, [{
    caption: "File Process", when: shows(263, "gone-skip.txt"), act: function (caption) {
        check("missing-file shot", page.screenshot(caption, SCREENS + "\\file-not-found.png"), true);
        page.press(caption, 1);
    }
}]), 1);

page.dropFiles(up, FILES + "\\gone-cancel.txt|" + FILES + "\\kept-cancel.txt");
page.removeFile(FILES + "\\gone-cancel.txt");
check("cancelled", uploadWith(up, [{
    caption: "File Process", when: shows(263, "gone-cancel.txt"), act: function (caption) {
        page.press(caption, 2);
    }
}, {
    caption: "알림", when: shows(65535, "업로드가 취소되었습니다."), act: function (caption) {
        page.press(caption, 1);
    }
}]), 0);
check("list emptied", up.TotalUploadCount(), 0);
finish();
