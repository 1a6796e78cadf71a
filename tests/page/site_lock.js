// The site lock, for a page at PAGE_URL. An allowed page (ALLOWED "1")
// uploads a.txt and downloads d.bin as any page did before the lock. On a
// refused page every method of the control fails with E_ACCESSDENIED and
// opens nothing; the runner checks that the server saw no request and that
// neither the save folder nor the settings key changed. A user's drop still
// lists a file, so an upload that got through would reach the server.
var PAGE_URL = "@PAGEURL@";
var ALLOWED = "@ALLOWED@" === "1";
var E_ACCESSDENIED = "80070005";
var DN = "Lock Download";
function UpdateSize() {}

page.setUrl(PAGE_URL);
var up = page.create("PARVEX.ParvexUpCtrl.1", 10, 10, 520, 180);

// Any window a refused call opened is a failure, closed so the page goes on.
var watching = true;
function watch() {
    var opened = page.windows();
    if (opened !== "") {
        page.log("FAIL a window opened: " + opened);
        failures++;
        var captions = opened.split("|");
        for (var i = 0; i < captions.length; i++) page.close(captions[i]);
    }
    if (watching) page.setTimeout(watch, 50);
}

// Each method with arguments that would act: the settings first, so that
// the upload and the download would have a server to go to.
var CALLS = [
    ["UploadUrlAddress", function () { up.UploadUrlAddress(SERVER + "/upload"); }],
    ["UploadExistUrl", function () { up.UploadExistUrl(SERVER + "/exists"); }],
    ["UpForm_Filename", function () { up.UpForm_Filename("name"); }],
    ["UpForm_UniqueFilename", function () { up.UpForm_UniqueFilename("unique"); }],
    ["UpForm_UpFile", function () { up.UpForm_UpFile("file"); }],
    ["SetLimitUploadSize", function () { up.SetLimitUploadSize(100); }],
    ["SetLimitUploadCount", function () { up.SetLimitUploadCount(5); }],
    ["SetLimitGeneralSize", function () { up.SetLimitGeneralSize(10); }],
    ["SetLimitUploadBigSize", function () { up.SetLimitUploadBigSize(100); }],
    ["SetLimitFileSize", function () { up.SetLimitFileSize(10); }],
    ["SetUseType", function () { up.SetUseType(1); }],
    ["UploadExtFilter", function () { up.UploadExtFilter("exe"); }],
    ["SetUpTitle", function () { up.SetUpTitle("Lock Upload"); }],
    ["ExpectContinueValue", function () { up.ExpectContinueValue(true); }],
    ["SetDnTitle", function () { up.SetDnTitle(DN); }],
    ["SetDownHostUrl", function () { up.SetDownHostUrl(SERVER + "/"); }],
    ["SetDownLimitCount", function () { up.SetDownLimitCount(1); }],
    ["SetDownLimitSize", function () { up.SetDownLimitSize(1); }],
    ["AttachFileFromMail", function () { up.AttachFileFromMail("mail.txt", "u1", 100); }],
    ["AddDownloadFile", function () { up.AddDownloadFile("/d.bin", "d.bin", 20000, 1); }],
    ["GetTotalUpSize", function () { up.GetTotalUpSize(); }],
    ["TotalUploadCount", function () { up.TotalUploadCount(); }],
    ["GetUpFileInfo", function () { up.GetUpFileInfo(); }],
    ["GetBigTotalSize", function () { up.GetBigTotalSize(); }],
    ["GetSmallTotalSize", function () { up.GetSmallTotalSize(); }],
    ["DownloadStart", function () { up.DownloadStart(); }],
    ["UploadStart", function () { up.UploadStart(0); }],
    ["DeleteFile", function () { up.DeleteFile(); }],
    ["TestLinkListValue", function () { up.TestLinkListValue(); }],
    ["AddFindFile", function () { up.AddFindFile(); }],
    ["AddFolder", function () { up.AddFolder(); }],
    ["AboutBox", function () { up.AboutBox(); }]
];

function callRefused(name, call) {
    try {
        call();
        page.log("FAIL " + name + " was not refused");
        failures++;
    } catch (e) {
        check(name + " refused", (e.number >>> 0).toString(16), E_ACCESSDENIED);
    }
}

function refused() {
    page.dropFiles(up, FILES + "\\lock\\empty.txt");
    page.setTimeout(watch, 0);
    for (var i = 0; i < CALLS.length; i++) callRefused(CALLS[i][0], CALLS[i][1]);
    check("methods called", CALLS.length, 32);
    // The watch has a last look once every call has returned.
    page.setTimeout(function () {
        watching = false;
        check("windows open", page.windows(), "");
        finish();
    }, 200);
}

function allowed() {
    var TITLE = "Lock Upload";
    up.UploadUrlAddress(SERVER + "/upload");
    up.UpForm_Filename("name");
    up.UpForm_UniqueFilename("unique");
    up.UpForm_UpFile("file");
    up.SetLimitUploadSize(100);
    up.SetUpTitle(TITLE);
    page.dropFiles(up, FILES + "\\a.txt");
    check("upload", uploadWith(up, []), 1);
    up.SetDownHostUrl(SERVER + "/");
    up.SetDnTitle(DN);
    check("queued", up.AddDownloadFile("/d.bin", "d.bin", 20000, 1), 0);
    up.DownloadStart();
    page.press(DN, 228);
    waitUntil("the end of the download", function () { return page.text(DN, 227) === "종 료"; }, function () {
        page.close(DN);
        finish();
    });
}

if (ALLOWED) allowed(); else refused();
