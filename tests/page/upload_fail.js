// The server drops every upload: the first run and three re-runs, each
// with the re-run status line (the test runner counts four requests), then
// the question naming the file; No ends the upload with 0. The server holds
// each upload until the page has seen its dialog and lets it go on.
var TITLE = "Tamsel Upload";
var RERUN = "* 업로드에 실패한 항목을 재업로드 중입니다.";
var up = uploadControl(TITLE);
page.dropFiles(up, FILES + "\\never.bin");
function release() { page.get(SERVER + "/__release"); }
var result = uploadWith(up, [
    {caption: TITLE, when: shows(267, ""), act: release},
    {caption: TITLE, when: shows(267, RERUN), act: release},
    {caption: TITLE, when: shows(267, RERUN), act: release},
    {caption: TITLE, when: shows(267, RERUN), act: release},
    {caption: "Warning", act: function (caption) {
        var text = page.text(caption, 65535);
        check("question", text.indexOf("업로드에 실패한 항목이 있습니다.\r\n재시도 하시겠습니까?"), 0);
        check("question names the file", text.indexOf("never.bin") > 0, true);
        check("question shot", page.screenshot(caption, SCREENS + "\\upload-retry-question.png"), true);
        page.press(caption, 7);
    }}
]);
check("result of No", result, 0);
check("list emptied", up.TotalUploadCount(), 0);
finish();
