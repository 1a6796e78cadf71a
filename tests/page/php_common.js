// Shared by the pages against the server sample (php_sample.sh puts it after
// common.js): its session cookie, the save folder, and an upload control set
// up as the guide sets one up for the sample.
var SAVE = "@SAVE@";      // the save folder, as a Windows path
var COOKIE = "@COOKIE@";  // the session cookie the sample asks for

// An upload control for the sample at base ("http://127.0.0.1:8080"): its
// field names, the exists check, "Expect: 100-continue", a budget of 100 MB
// and downloads from base into SAVE, the dialogs titled upTitle and dnTitle.
// The session cookie is set for base first.
function sampleControl(base, upTitle, dnTitle) {
    check("cookie set", page.setCookie(base + "/", COOKIE), true);
    check("save folder set", page.setSaveFolder(SAVE), true);
    var up = page.create("PARVEX.ParvexUpCtrl.1", 10, 10, 520, 180);
    up.UploadUrlAddress(base + "/upload");
    up.UploadExistUrl(base + "/exists");
    up.UpForm_Filename("fname");
    up.UpForm_UniqueFilename("uname");
    up.UpForm_UpFile("upfile");
    up.ExpectContinueValue(true);
    up.SetLimitUploadSize(100);
    up.SetUpTitle(upTitle);
    up.SetDownHostUrl(base + "/");
    up.SetDnTitle(dnTitle);
    return up;
}
