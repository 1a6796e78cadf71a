// Servers that must be refused: their certificates (self-signed, from an
// unknown authority with and without its certificate, for another name,
// expired, without the address the URL names), or with a good certificate
// their protocol (only TLS 1.0, only TLS 1.1): each download fails with the
// connection-failure line; an upload with the exists check, and one
// without, to two of them fail every run and end with the question. The
// runner checks that no server saw a byte of a request and that the trace
// names each reason.
var BAD = "@BADSERVERS@".split(" ");  // name=host:port ...
var TITLE = "거부 올리기";
var DN = "거부 다운로드";

function urlOf(name) {
    for (var i = 0; i < BAD.length; i++)
        if (BAD[i].indexOf(name + "=") === 0) return "https://" + BAD[i].substring(name.length + 1);
    page.log("FAIL no server " + name);
    failures++;
    return "https://127.0.0.1:1";
}

var up = uploadControl(TITLE);
up.SetDnTitle(DN);

// Fails every run of an upload of file to url: the question names it, No.
function refusedUpload(url, exists, file) {
    up.UploadUrlAddress(url + "/upload");
    up.UploadExistUrl(exists ? url + "/exists" : "");
    page.dropFiles(up, FILES + "\\" + file);
    check("upload to " + url, uploadWith(up, [{caption: "Warning", act: function (caption) {
        check("question names " + file, page.text(caption, 65535).indexOf(file) > 0, true);
        page.press(caption, 7);
    }}]), 0);
}
refusedUpload(urlOf("selfsigned"), true, "refused-exists.bin");
refusedUpload(urlOf("wrongip"), false, "refused-up.bin");

var next = 0;
function refusedDownload() {
    if (next === BAD.length) {
        finish();
        return;
    }
    var url = "https://" + BAD[next++].split("=")[1];
    up.SetDownHostUrl(url + "/");
    up.AddDownloadFile("/d.bin", "d.bin", 20000, 1);
    up.DownloadStart();
    page.press(DN, 228);
    whenWindow("Download Complete Infomation", 65535, function (caption) {
        check("summary from " + url, page.text(caption, 65535), "0. d.bin -> Socket Connect Error\r\n");
        page.press(caption, 1);
        waitUntil("the end of the run", function () { return page.text(DN, 227) === "종 료"; }, function () {
            check("row from " + url, page.listText(DN, 219, 0, 1), "실 패");
            page.press(DN, 227);
            waitUntil("the dialog closed", function () { return page.text(DN, 0) === ""; }, refusedDownload);
        });
    });
}
refusedDownload();
