// A file emptied and written again with other bytes of the same size while
// it goes out, as an editor saves it: the server holds the upload part-way,
// the page rewrites the file and lets the upload go on. The upload fails;
// its automatic re-run, which would send the new version whole, is
// cancelled as it opens. The runner checks that the server stored nothing
// and that the trace says why.
var TITLE = "편집 올리기";
var up = uploadControl(TITLE);
page.dropFiles(up, FILES + "\\edited.bin");
check("result", uploadWith(up, [{
    // Bytes have moved: the read-ahead has read what it holds.
    caption: TITLE, when: function (caption) { return page.text(caption, 208) !== "계산중"; },
    act: function (caption) {
        check("rewritten", page.rewriteFile(FILES + "\\edited.bin"), true);
        page.get(SERVER + "/__release");
    }
}, {
    caption: TITLE, when: shows(267, "* 업로드에 실패한 항목을 재업로드 중입니다."), act: function (caption) {
        page.press(caption, 213);
    }
}, {
    caption: "알림", when: shows(65535, "업로드가 취소되었습니다."), act: function (caption) {
        page.press(caption, 1);
    }
}]), 0);
finish();
