// A web-mail page that attaches files with the upload control and fetches
// them back with its download dialog. It runs in parvex-page.exe (see
// docs/integrating.md); a browser page does the same from its own script.
//
// The runner puts three values before this script:
//   SERVER  the mail server's address, e.g. "http://127.0.0.1:8080"
//   FILES   a folder (Windows path) with the files the user drops
//   SHOTS   a folder (Windows path) for the pictures of each window
// Each step logs "STEP <name>: ok" or "STEP <name>: FAILED <why>", then
// "PICTURES <file>..." for the pictures taken in it, and the
// page exits 1 when a step failed.

var UP_TITLE = "메일 첨부 올리기";
var DN_TITLE = "메일 첨부 받기";
var failedSteps = 0;
var problems = [];
var updateSizeCalls = 0;

// The upload control calls this after a drop, a folder walk or a switch of
// a file between general and big: a page shows its totals here.
function UpdateSize() {
    updateSizeCalls++;
}

function expect(what, got, want) {
    if (got !== want) problems.push(what + " is [" + got + "], not [" + want + "]");
}

// The pictures taken since the last step belong to the next one.
var stepPictures = [];

function step(name) {
    page.log("STEP " + name + ": " + (problems.length === 0 ? "ok" : "FAILED " + problems.join("; ")));
    if (stepPictures.length > 0) page.log("PICTURES " + stepPictures.join(" "));
    if (problems.length > 0) failedSteps++;
    problems = [];
    stepPictures = [];
}

function shot(caption, name) {
    if (page.screenshot(caption, SHOTS + "\\" + name + ".png")) stepPictures.push(name + ".png");
    else problems.push("no picture of [" + caption + "]");
}

// Calls action(caption) once a visible window with that caption shows
// control id; polls every 50 ms, gives up after 20 s.
function whenWindow(caption, id, action) {
    var tries = 0;
    function poll() {
        if (page.text(caption, id) !== "") return action(caption);
        if (++tries > 400) {
            problems.push("the window [" + caption + "] never came");
            return action(caption);
        }
        page.setTimeout(poll, 50);
    }
    page.setTimeout(poll, 0);
}

// Calls action() once test() holds; polls every 50 ms, gives up after 60 s.
function waitUntil(what, test, action) {
    var tries = 0;
    function poll() {
        if (test()) return action();
        if (++tries > 1200) {
            problems.push("waited in vain for " + what);
            return action();
        }
        page.setTimeout(poll, 50);
    }
    page.setTimeout(poll, 0);
}

// --- 1. The control and its settings ----------------------------------------
var up = page.create("PARVEX.ParvexUpCtrl.1", 10, 10, 560, 200);
up.UploadUrlAddress(SERVER + "/upload");
up.UploadExistUrl(SERVER + "/exists");
up.UpForm_Filename("fname");
up.UpForm_UniqueFilename("uname");
up.UpForm_UpFile("upfile");
up.SetUpTitle(UP_TITLE);
up.SetDnTitle(DN_TITLE);
up.ExpectContinueValue(true);
// One budget for all files: 20 MB in all, 10 files, 8 MB each at most.
up.SetUseType(0);
up.SetLimitUploadSize(20);
up.SetLimitUploadCount(10);
up.SetLimitFileSize(8);
up.UploadExtFilter("exe;bat");
expect("an empty list's count", up.TotalUploadCount(), 0);
step("settings, one budget");

// --- 2. An attachment that already lies on the server -----------------------
up.AttachFileFromMail("지난주 보고서.hwp", "20261207_0001", 2048);
expect("the count with the attachment", up.TotalUploadCount(), 1);
expect("the total with the attachment", up.GetTotalUpSize(), 2048);
expect("UpdateSize calls for an attachment", updateSizeCalls, 0);
step("attachment already on the server listed");

// --- 3. A drop of three files; the filter refuses setup.exe -----------------
whenWindow("업로드제한", 65535, function (caption) {
    if (page.text(caption, 65535).indexOf("setup.exe") < 0) problems.push("the refusal does not name setup.exe");
    shot(caption, "filter-refusal");
    page.press(caption, 1);
});
page.dropFiles(up, FILES + "\\hello.txt|" + FILES + "\\회의록 초안.txt|" + FILES + "\\setup.exe");
expect("the count after the drop", up.TotalUploadCount(), 3);
expect("UpdateSize calls after the drop", updateSizeCalls, 2);
shot("", "list-one-budget");
step("files dropped, one filtered out");

// --- 4. Upload: hello.txt is on the server already and is renamed -----------
whenWindow("Upload Same File", 250, function (caption) {
    expect("the same-name prompt's file", page.text(caption, 250), "hello.txt");
    shot(UP_TITLE, "upload-progress");
    shot(caption, "upload-same-file");
    page.press(caption, 254);
    whenWindow("Change Filename", 242, function (rename) {
        page.setText(rename, 242, "hello-2.txt");
        shot(rename, "upload-rename");
        page.press(rename, 1);
    });
});
expect("UploadStart", up.UploadStart(0), 1);
expect("the count after the upload", up.TotalUploadCount(), 0);
step("upload with a same-name file renamed");

// --- 5. Two budgets: general files up to 1 MB within 5 MB, big ones in 50 MB
up.SetUseType(1);
up.SetLimitGeneralSize(1);
up.SetLimitUploadSize(5);
up.SetLimitUploadBigSize(50);
up.UploadExtFilter("exe;bat");
updateSizeCalls = 0;
page.dropFiles(up, FILES + "\\photo.jpg|" + FILES + "\\사진|" + FILES + "\\refused.zip");
expect("the count after a drop with a folder", up.TotalUploadCount(), 4);
expect("UpdateSize calls for the folder", updateSizeCalls, 4);
expect("the big total", up.GetBigTotalSize(), 3000000);
expect("the general total", up.GetSmallTotalSize(), 3000 + 5000 + 1000);
shot("", "list-two-budgets");
step("settings, two budgets; files and a folder dropped");

// --- 6. Upload: the server refuses the last file ----------------------------
var refusal = "";
whenWindow("Upload Fail", 65535, function (caption) {
    refusal = page.text(caption, 65535);
    shot(caption, "upload-refused");
    page.press(caption, 1);
});
expect("UploadStart with a refused file", up.UploadStart(0), 0);
if (refusal.indexOf("413") < 0) problems.push("the refusal [" + refusal + "] does not give the server's status");
step("upload with a file refused by the server");

// --- 7. The uploaded files queued for download ------------------------------
up.SetDownHostUrl(SERVER + "/");
var downloads = [["/hello-2.txt", "hello-2.txt", 19], ["/회의록 초안.txt", "회의록 초안.txt", 39],
                 ["/photo.jpg", "photo.jpg", 3000000], ["/사진/바다.jpg", "바다.jpg", 3000]];
for (var i = 0; i < downloads.length; i++)
    expect("AddDownloadFile " + downloads[i][1],
           up.AddDownloadFile(downloads[i][0], downloads[i][1], downloads[i][2], downloads.length), 0);
up.DownloadStart();
expect("the download dialog's caption", page.text(DN_TITLE, 0), DN_TITLE);
shot(DN_TITLE, "download-idle");
step("uploaded files queued for download");

// --- 8. The download: 회의록 초안.txt is in the save folder already ----------
page.press(DN_TITLE, 228);
whenWindow("Download Same File", 235, function (caption) {
    expect("the conflict prompt's file", page.text(caption, 235), "회의록 초안.txt");
    shot(caption, "download-same-file");
    page.press(caption, 239);
    waitUntil("the end of the download", function () { return page.text(DN_TITLE, 227) === "종 료"; }, finished);
});

function finished() {
    var rows = [];
    for (var i = 0; i < downloads.length; i++) rows.push(page.listText(DN_TITLE, 219, i, 1));
    expect("the rows after the download", rows.join(","), "완 료,완 료,완 료,완 료");
    shot(DN_TITLE, "download-finished");
    page.press(DN_TITLE, 227);
    waitUntil("the download dialog closed", function () { return page.text(DN_TITLE, 0) === ""; }, function () {
        step("download with a conflict overwritten");
        page.exit(failedSteps === 0 ? 0 : 1);
    });
}
