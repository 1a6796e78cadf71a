// The server sample (examples/server/router.php) under PHP's built-in
// server, which wants a session cookie: an attachment from the mail, a
// Korean name, a rename and a skip, uploaded with the exists check and
// "Expect: 100-continue", then each fetched back into a save folder the page
// sets. php_sample.sh compares the bytes.
var DN = "PHP 다운로드";
var up = sampleControl(SERVER, "PHP 업로드", DN);

up.AttachFileFromMail("메일 첨부.txt", "20261207.mail.1", 2000);
page.dropFiles(up, FILES + "\\한글 문서.txt|" + FILES + "\\겹침.txt|" + FILES + "\\건너뜀.txt");
check("listed", up.TotalUploadCount(), 4);

// The server holds 겹침.txt and 건너뜀.txt: the first is renamed, the second
// skipped. The attachment from the mail is on the server too, and is not
// sent again whatever is answered for it.
var answered = [], running = true;
function answer() {
    if (!running) return;
    var name = page.text("Upload Same File", IDC_SAME_NAME);
    if (name !== "" && answered[answered.length - 1] !== name) {
        answered.push(name);
        page.press("Upload Same File", name === "겹침.txt" ? IDC_SAME_RENAME : IDC_SAME_SKIP);
    }
    if (page.text("Change Filename", IDC_RENAME_EDIT) === "겹침.txt") {
        page.setText("Change Filename", IDC_RENAME_EDIT, "겹침 새이름.txt");
        page.press("Change Filename", IDOK);
    }
    page.setTimeout(answer, 20);
}
page.setTimeout(answer, 0);
check("upload", up.UploadStart(0), 1);
running = false;
var asked = [];
for (var i = 0; i < answered.length; i++) if (answered[i] !== "메일 첨부.txt") asked.push(answered[i]);
check("asked about", asked.join("|"), "겹침.txt|건너뜀.txt");

up.AddDownloadFile("/files/메일 첨부.txt", "메일 첨부.txt", 2000, 4);
up.AddDownloadFile("/files/한글 문서.txt", "한글 문서.txt", 30000, 4);
up.AddDownloadFile("/files/겹침 새이름.txt", "겹침 새이름.txt", 1234, 4);
up.AddDownloadFile("/files/건너뜀.txt", "건너뜀.txt", 15, 4);  // "held: 건너뜀", as the server holds it
up.DownloadStart();
check("the save folder shown", page.text(DN, IDC_DN_FOLDER), SAVE);
page.press(DN, IDC_DN_START);
waitUntil("the end of the run", function () { return page.text(DN, IDC_DN_CANCEL) === "종 료"; }, function () {
    var rows = [];
    for (var i = 0; i < 4; i++) rows.push(page.listText(DN, IDC_DN_LIST, i, 1));
    check("rows", rows.join(","), "완 료,완 료,완 료,완 료");
    check("no summary", page.text("Download Complete Infomation", 0), "");
    check("shot", page.screenshot(DN, SCREENS + "\\php-sample-downloads.png"), true);
    page.sysCommand(DN, 0xF060);
    waitUntil("the dialog closed", function () { return page.text(DN, 0) === ""; }, finish);
});
