// Shared by the page scripts (the test runner puts it before each page):
// checks that count failures, and a wait for a window that a modal loop
// shows, done from the page's timers as a person would.
var FILES = "@FILES@";      // the test files' folder, as a Windows path
var SCREENS = "@SCREENS@";  // where screenshots go
var SAVE_FOLDER = "@SAVE@";  // a download page's save folder
var PORT = "@PORT@";        // the reference mail server's port on 127.0.0.1
var SERVER = "http://127.0.0.1:" + PORT;
var failures = 0;

function check(what, got, want) {
    if (got !== want) {
        page.log("FAIL " + what + ": got [" + got + "] want [" + want + "]");
        failures++;
    }
}

// Calls action(caption) once a visible window with that caption shows a
// control id; polls every 50 ms for up to 10 s.
function whenWindow(caption, id, action) {
    var tries = 0;
    function poll() {
        if (page.text(caption, id) !== "" || tries > 200) {
            if (tries > 200) {
                page.log("FAIL no window [" + caption + "] came");
                failures++;
            }
            action(caption);
            return;
        }
        tries++;
        page.setTimeout(poll, 50);
    }
    page.setTimeout(poll, 0);
}

// An upload control that sends to the reference server with the form's
// field names, a budget of 100 MB and its progress dialog titled title.
function uploadControl(title) {
    var up = page.create("PARVEX.ParvexUpCtrl.1", 10, 10, 520, 180);
    up.UploadUrlAddress(SERVER + "/upload");
    up.UpForm_Filename("name");
    up.UpForm_UniqueFilename("unique");
    up.UpForm_UpFile("file");
    up.SetLimitUploadSize(100);
    up.SetUpTitle(title);
    return up;
}

// A step's condition: control id of its window shows text.
function shows(id, text) {
    return function (caption) { return page.text(caption, id) === text; };
}

// The prompts and boxes a run may open: the control that tells one from
// another and the button that dismisses it.
var DISMISS = {
    "Upload Same File": [250, 255], "File Process": [263, 2], "Change Filename": [242, 2],
    "Warning": [65535, 7], "\uC54C\uB9BC": [65535, 1], "Upload Fail": [65535, 1]
};

// One prompt or box up unchanged for three seconds was not expected by the
// page: a failure, dismissed so that the page goes on.
function dismissStuck(seen) {
    var now = new Date().getTime();
    for (var caption in DISMISS) {
        var up = page.text(caption, 0) === caption;
        var key = up ? page.text(caption, DISMISS[caption][0]) : null;
        if (!up || !seen[caption] || seen[caption].key !== key) {
            seen[caption] = up ? {key: key, since: now} : null;
        } else if (now - seen[caption].since > 3000) {
            page.log("FAIL unexpected [" + caption + "]: " + key);
            failures++;
            page.press(caption, DISMISS[caption][1]);
            seen[caption].since = now;
        }
    }
}

// UploadStart of up, with the windows it opens answered in order: each step
// waits until the window captioned step.caption is up and step.when (if
// given) holds for it, then runs step.act(caption). Returns UploadStart's
// result; every step must have been taken.
function uploadWith(up, steps) {
    var run = {next: 0, over: false, seen: {}};
    function poll() {
        if (run.over) return;
        var step = steps[run.next];
        if (step && page.text(step.caption, 0) === step.caption && (!step.when || step.when(step.caption))) {
            run.next++;
            if (step.act) step.act(step.caption);
        }
        dismissStuck(run.seen);
        page.setTimeout(poll, 20);
    }
    page.setTimeout(poll, 0);
    var result = up.UploadStart(0);
    run.over = true;
    check("steps taken", run.next, steps.length);
    return result;
}

function finish() {
    page.log(failures === 0 ? "page passed" : failures + " check(s) failed");
    page.exit(failures === 0 ? 0 : 1);
}

// Calls action() once test() holds; polls every 50 ms for up to 30 s, then
// counts a failure naming what was waited for and calls action() anyway.
function waitUntil(what, test, action) {
    var tries = 0;
    function poll() {
        if (test()) {
            action();
        } else if (tries++ > 600) {
            page.log("FAIL waited in vain for " + what);
            failures++;
            action();
        } else {
            page.setTimeout(poll, 50);
        }
    }
    page.setTimeout(poll, 0);
}

// An upload control whose download dialog is titled title, with the served
// files a.bin, b.bin, c.bin (400000 bytes each) and d.bin (20000) queued as
// one batch and the dialog open.
function openFourDownloads(title) {
    var up = page.create("PARVEX.ParvexUpCtrl.1", 10, 10, 520, 180);
    up.SetDownHostUrl("http://127.0.0.1:" + PORT + "/");
    up.SetDnTitle(title);
    up.AddDownloadFile("/a.bin", "a.bin", 400000, 4);
    up.AddDownloadFile("/b.bin", "b.bin", 400000, 4);
    up.AddDownloadFile("/c.bin", "c.bin", 400000, 4);
    up.AddDownloadFile("/d.bin", "d.bin", 20000, 4);
    up.DownloadStart();
    return up;
}
