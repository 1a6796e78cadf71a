// Transfers over https and over IPv6: uploads (each after an exists check)
// and downloads to the reference server's TLS twin by name and at [::1],
// and in plain to [::1]; the runner compares every file byte for byte.
// Then faults over TLS: an upload cut mid-body without close_notify fails
// and its re-run sends it whole; a download cut the same way is tried again
// and goes on from its part; a download whose server stalls after the head
// ends at the user's cancel. The twin's control routes answer in plain.
var TLS_PORT = "@TLSPORT@";
var TLS_CONTROL = "http://127.0.0.1:" + TLS_PORT;
var TITLE = "보안 올리기";
var DN = "보안 다운로드";
var ROUTES = [
    {url: "https://localhost:" + TLS_PORT, name: "tls"},
    {url: "https://[::1]:" + TLS_PORT, name: "tls6"},
    {url: "http://[::1]:" + PORT, name: "plain6"}
];

var up = uploadControl(TITLE);
for (var i = 0; i < ROUTES.length; i++) {
    up.UploadUrlAddress(ROUTES[i].url + "/upload");
    up.UploadExistUrl(ROUTES[i].url + "/exists");
    page.dropFiles(up, FILES + "\\" + ROUTES[i].name + "-up.bin");
    check("upload to " + ROUTES[i].url, uploadWith(up, []), 1);
}

page.get(TLS_CONTROL + "/__reset");
page.get(TLS_CONTROL + "/__fault?cut_after=2000&target=upload&count=1");
up.UploadUrlAddress(ROUTES[0].url + "/upload");
up.UploadExistUrl("");
page.dropFiles(up, FILES + "\\tls-cut.bin");
check("upload cut once", uploadWith(up, []), 1);
check("the cut upload was sent twice", page.get(TLS_CONTROL + "/__stats"), "uploads=2 exists=0 downloads=0 bad=0");

// One file from host in a dialog of its own; then(caption) sees the run's
// end, with the summary box's caption when one came.
function download(host, path, name, then) {
    up.SetDownHostUrl(host + "/");
    up.SetDnTitle(DN);
    up.AddDownloadFile(path, name, 400000, 1);
    up.DownloadStart();
    page.press(DN, 228);
    waitUntil("the end of the download of " + name, function () {
        return page.text(DN, 227) === "종 료" || page.text("Download Complete Infomation", 0) !== "";
    }, function () {
        then("Download Complete Infomation");
    });
}

// After a download's end: the row reads want, the dialog is closed.
function closeDownload(want, next) {
    waitUntil("the run's end", function () { return page.text(DN, 227) === "종 료"; }, function () {
        check("row after the run", page.listText(DN, 219, 0, 1), want);
        page.press(DN, 227);
        waitUntil("the dialog closed", function () { return page.text(DN, 0) === ""; }, next);
    });
}

var fetches = [["a.bin", 0], ["b.bin", 1], ["c.bin", 2]];
function fetchNext() {
    var f = fetches.shift();
    if (!f) {
        cutDownload();
        return;
    }
    var route = ROUTES[f[1]];
    download(route.url, "/" + f[0], route.name + "-" + f[0], function (summary) {
        check("no summary from " + route.url, page.text(summary, 65535), "");
        closeDownload("완 료", fetchNext);
    });
}

// Cut once: the retry asks for the rest and the file ends whole.
function cutDownload() {
    page.get(TLS_CONTROL + "/__fault?cut_after=100000&target=download&count=1");
    download(ROUTES[0].url, "/a.bin", "cut-a.bin", function (summary) {
        check("no summary of the cut download", page.text(summary, 65535), "");
        closeDownload("완 료", stalledDownload);
    });
}

function stalledDownload() {
    page.get(TLS_CONTROL + "/__fault?stall=1&target=download&count=1");
    up.SetDownHostUrl(ROUTES[0].url + "/");
    up.AddDownloadFile("/d.bin", "stalled-d.bin", 20000, 1);
    up.DownloadStart();
    page.press(DN, 228);
    waitUntil("the stalled download in transfer", function () {
        return page.listText(DN, 219, 0, 1) === "전송중";
    }, function () {
        page.press(DN, 227);
        whenWindow("Download Cancel", 65535, function (caption) {
            page.press(caption, 6);
            waitUntil("the cancel message", function () {
                return page.text("Download Cancel", 65535) === "다운로드가 취소 되었습니다.";
            }, function () {
                page.press("Download Cancel", 1);
                closeDownload("취 소", finish);
            });
        });
    });
}

fetchNext();
