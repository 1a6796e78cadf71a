// The server drops every upload: the first run and three re-runs, each
// with the re-run status line (the test runner counts four requests), then
// the question naming the file; No ends the upload with 0. The server holds
// each upload until the page has seen its dialog and lets it go on.
var TITLE = "Tamsel Upload";
var RERUN = "* 업로드에 실패한 항목을 재업로드 중입니다.";
var up = uploadControl(TITLE);
page.dropFiles(up, FILES + "\\never.bin");
function release() { page.get(SERVER + "/__release"); }
// The server's reset reaches the worker while it sends the body (no box) or,
// once the whole file sits in the socket's buffers, while it reads the reply.
// There it reads as a plain close or, now and then, as a failed receive,
// which says "error" in a box of the worker's own: the run waits for OK,
// which this page presses as a user would.
var running = true, errorBoxes = 0;
function pressErrorBox() {
    if (page.text("Error", 65535) === "error") {
        errorBoxes++;
        page.press("Error", 1);
    }
    if (running) page.setTimeout(pressErrorBox, 20);
}
page.setTimeout(pressErrorBox, 0);
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
running = false;
check("result of No", result, 0);
page.log("error boxes pressed: " + errorBoxes);
check("list emptied", up.TotalUploadCount(), 0);
finish();
