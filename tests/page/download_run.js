// A batch queued by the page, fetched after a press of the start button; a
// file added during the run is merged and fetched, a name already queued is
// refused without a word. Before the run the dialog goes to the tray and
// comes back; after it the close box closes it. The page runner compares
// the fetched files with the served ones. The server holds a.bin part-way
// until the page has acted in the running dialog.
var DN = "페이지 다운로드";
var up = page.create("PARVEX.ParvexUpCtrl.1", 10, 10, 520, 180);
up.SetDownHostUrl("http://127.0.0.1:" + PORT + "/");
up.SetDnTitle(DN);
check("first of the batch", up.AddDownloadFile("/a.bin", "a.bin", 400000, 3), 0);
check("second of the batch", up.AddDownloadFile("/보고서 1.txt", "보고서 1.txt", 3000, 3), 0);
check("third of the batch", up.AddDownloadFile("/empty.txt", "empty.txt", 0, 3), 0);
up.DownloadStart();
up.DownloadStart();

check("the title is the caption", page.text(DN, 0), DN);
check("rows wait", page.listText(DN, 219, 1, 0) + "|" + page.listText(DN, 219, 1, 1), "보고서 1.txt|대 기");
check("total size", page.text(DN, 224), " / 393.55KB");
check("idle shot", page.screenshot(DN, SCREENS + "\\dialog-idle.png"), true);

// Minimise: the window hides behind the tray icon; a left click on the icon
// brings it back.
page.sysCommand(DN, 0xF020);
waitUntil("the dialog hidden", function () { return page.text(DN, 0) === ""; }, function () {
    check("tray shot", page.screenshotTray(SCREENS + "\\tray-icon.png"), true);
    check("tray icon clicked", page.clickTray(8, 8), true);
    waitUntil("the dialog back from the tray", function () { return page.text(DN, 0) === DN; }, started);
});

function started() {
    page.press(DN, 228);
    waitUntil("the first file's bytes counted", function () {
        return page.listText(DN, 219, 0, 1) === "전송중" && page.text(DN, 230) !== "0Byte";
    }, running);
}

function running() {
    check("file name label", page.text(DN, 222), "a.bin");
    check("added during the run", up.AddDownloadFile("/d.bin", "d.bin", 20000, 1), 0);
    check("duplicate during the run", up.AddDownloadFile("/a.bin", "a.bin", 400000, 1), -1);
    check("running shot", page.screenshot(DN, SCREENS + "\\dialog-running.png"), true);
    page.get(SERVER + "/__release");
    waitUntil("the end of the run", function () { return page.text(DN, 227) === "종 료"; }, finished);
}

function finished() {
    var rows = [];
    for (var i = 0; i < 5; i++) rows.push(page.listText(DN, 219, i, 0) + ":" + page.listText(DN, 219, i, 1));
    check("rows after the run", rows.join(","), "a.bin:완 료,보고서 1.txt:완 료,empty.txt:완 료,d.bin:완 료,:");
    check("no summary after a clean run", page.text("Download Complete Infomation", 0), "");
    // Every counter as the run ended (423000 bytes in all, d.bin last with
    // 20000), the bars full, nothing left.
    var labels = [229, 224, 230, 225, 260, 220, 226];
    for (var j = 0; j < labels.length; j++) labels[j] = page.text(DN, labels[j]);
    check("labels after the run", labels.join("|"), "413.09KB| / 413.09KB|19.53KB| / 19.53KB|0초|100|100");
    check("finished shot", page.screenshot(DN, SCREENS + "\\dialog-finished.png"), true);
    // Queued after the run: a row of its own, fetched by a second press of
    // start; a name fetched already is refused.
    check("added after the run", up.AddDownloadFile("/b.bin", "b.bin", 400000, 1), 0);
    check("fetched name refused", up.AddDownloadFile("/a.bin", "a.bin", 400000, 1), -1);
    check("rows after the addition", page.listText(DN, 219, 0, 1) + "," + page.listText(DN, 219, 4, 0) + ":" +
          page.listText(DN, 219, 4, 1), "완 료,b.bin:대 기");
    page.press(DN, 228);
    // b.bin is held part-way as a.bin was; this page has nothing to do meanwhile.
    page.get(SERVER + "/__release");
    waitUntil("the second run's end", function () {
        return page.listText(DN, 219, 4, 1) === "완 료" && page.text(DN, 227) === "종 료";
    }, secondRunDone);
}

function secondRunDone() {
    check("the first rows stay done", page.listText(DN, 219, 3, 1), "완 료");
    // After the run the close box closes the dialog.
    page.sysCommand(DN, 0xF060);
    waitUntil("the dialog closed", function () { return page.text(DN, 0) === ""; }, finish);
}
