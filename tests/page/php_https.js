// The server sample behind nginx over https (the test authority trusted in
// the prefix while this page runs): one file up, with the exists check and
// "Expect: 100-continue" (which nginx answers itself), and back into the save
// folder. php_sample.sh compares the bytes.
var HTTPS = "https://localhost:@TLSPORT@";
var SAVE = "@SAVE@";      // the save folder, as a Windows path
var COOKIE = "@COOKIE@";  // the session cookie the sample asks for
var NAME = "보안 페이지.txt", SIZE = 300000;
var DN = "PHP 보안 다운로드";

check("cookie set", page.setCookie(HTTPS + "/", COOKIE), true);
check("save folder set", page.setSaveFolder(SAVE), true);
var up = page.create("PARVEX.ParvexUpCtrl.1", 10, 10, 520, 180);
up.UploadUrlAddress(HTTPS + "/upload");
up.UploadExistUrl(HTTPS + "/exists");
up.UpForm_Filename("fname");
up.UpForm_UniqueFilename("uname");
up.UpForm_UpFile("upfile");
up.ExpectContinueValue(true);
up.SetLimitUploadSize(100);
up.SetUpTitle("PHP 보안 업로드");
up.SetDownHostUrl(HTTPS + "/");
up.SetDnTitle(DN);

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
