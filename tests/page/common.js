// Shared by the page scripts (the test runner puts it before each page):
// checks that count failures, and a wait for a window that a modal loop
// shows, done from the page's timers as a person would.
var FILES = "@FILES@";      // the test files' folder, as a Windows path
var SCREENS = "@SCREENS@";  // where screenshots go
var PORT = "@PORT@";        // the reference mail server's port on 127.0.0.1
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
