// The server sample behind nginx over https (the test authority trusted in
// the prefix while this page runs): one file up, with the exists check and
// "Expect: 100-continue" (which nginx answers itself), and back into the save
// folder. php_sample.sh compares the bytes.
var HTTPS = "https://localhost:@TLSPORT@";
var NAME = "보안 페이지.txt", SIZE = 300000;
var DN = "PHP 보안 다운로드";
var up = sampleControl(HTTPS, "PHP 보안 업로드", DN);

page.dropFiles(up, FILES + "\\" + NAME);
check("upload", uploadWith(up, []), 1);

up.AddDownloadFile("/files/" + NAME, NAME, SIZE, 4);
up.DownloadStart();
page.press(DN, IDC_DN_START);
waitUntil("the end of the run", function () { return page.text(DN, IDC_DN_CANCEL) === "종 료"; }, function () {
    check("row", page.listText(DN, IDC_DN_LIST, 0, 1), "완 료");
    check("no summary", page.text("Download Complete Infomation", 0), "");
    page.sysCommand(DN, 0xF060);
    waitUntil("the dialog closed", function () { return page.text(DN, 0) === ""; }, finish);
});
