// Names and server texts that must not make the dialog tell an untruth: a
// file name that meets a folder of the save folder, a name that would read
// as another, a name of 255 characters, and a status line with a NUL in it
// (the page runner makes the first request's reply so). The summary box
// shows every line; the runner checks what the save folder holds.
var DN = "낯선 이름";
var LONG = "";
while (LONG.length < 251) LONG += "l";
LONG += ".bin";
var up = page.create("PARVEX.ParvexUpCtrl.1", 10, 10, 520, 180);
up.SetDownHostUrl("http://127.0.0.1:" + PORT + "/");
up.SetDnTitle(DN);
up.AddDownloadFile("/a.bin", "report", 400000, 5);
up.AddDownloadFile("/b.bin", "invoice\u202Efdp.exe", 400000, 5);
up.AddDownloadFile("/missing.bin", "first.txt", 10, 5);
up.AddDownloadFile("/d.bin", LONG, 20000, 5);
up.AddDownloadFile("/missing.bin", "plain.txt", 10, 5);
up.DownloadStart();
page.press(DN, 228);
whenWindow("Download Complete Infomation", 65535, function (caption) {
    check("summary", page.text(caption, 65535),
          "0. report -> 파일생성실패\r\n1. invoice?fdp.exe -> 파일생성실패\r\n" +
          "2. first.txt -> 404 not?found\r\n4. plain.txt -> 404 not found\r\n");
    page.press(caption, 1);
    waitUntil("the end of the run", function () { return page.text(DN, 227) === "종 료"; }, function () {
        var rows = [];
        for (var i = 0; i < 5; i++) rows.push(page.listText(DN, 219, i, 1));
        check("rows after the run", rows.join(","), "실 패,실 패,실 패,완 료,실 패");
        page.press(DN, 227);
        waitUntil("the dialog closed", function () { return page.text(DN, 0) === ""; }, finish);
    });
});
