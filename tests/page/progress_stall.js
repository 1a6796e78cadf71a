// The dialogs stay true when the bytes stop. The server holds a download
// after 64 KiB of 4 MiB, and stops reading an upload of 32 MiB after 1 MiB.
// Once it says it holds the transfer, the page reads the dialog 1 s later:
// bars and byte counters must show what moved (for the download exactly
// 64 KiB; for the upload what the socket took, which no longer changes, so
// what the page reads at 1 s must still be there at 3 s); at 3 s the speed
// reads zero and the time left is not known. Released, each run ends exact.
var UP = "Stall Upload";
var DN = "Stall Download";
var up = uploadControl(UP);
up.SetLimitUploadSize(1024);
up.SetDownHostUrl(SERVER + "/");
up.SetDnTitle(DN);

function held() { return page.get(SERVER + "/__held") === "held=1"; }

// The texts of controls ids of the window captioned caption, joined.
function texts(caption, ids) {
    var out = [];
    for (var i = 0; i < ids.length; i++) out.push(page.text(caption, ids[i]));
    return out.join(" | ");
}

// 1. The upload. Its steps run in the progress dialog's modal loop.
var UP_LOOKED = [205, 206, 210, 212];  // file bar, run bar, file bytes, run bytes
var upAt1s = null;
page.get(SERVER + "/__fault?hold=1048576&target=upload&count=1");
page.dropFiles(up, FILES + "\\stall-up.bin");
var result = uploadWith(up, [
    {caption: UP, when: held, act: function (caption) {
        page.setTimeout(function () {
            upAt1s = texts(caption, UP_LOOKED);
            page.setTimeout(function () {
                page.log("upload held: " + upAt1s);
                check("upload at 1 s as at 3 s", texts(caption, UP_LOOKED), upAt1s);
                check("upload bytes, file and run", page.text(caption, 210), page.text(caption, 212));
                check("upload speed when still", page.text(caption, 208), "0.00KB");
                check("upload time left when still", page.text(caption, 258), "계산중");
                page.get(SERVER + "/__release");
            }, 2000);
        }, 1000);
    }}
]);
check("stalled upload", result, 1);
check("the upload was looked at", upAt1s !== null, true);

// 2. The download.
page.get(SERVER + "/__fault?hold=65536&target=download&count=1");
up.AddDownloadFile("/stall-dn.bin", "stall-dn.bin", 4194304, 1);
up.DownloadStart();
page.press(DN, 228);
var DN_LOOKED = [220, 226, 230, 229];  // file bar, run bar, file bytes, run bytes
waitUntil("the server holding the download", held, function () {
    page.setTimeout(function () {
        check("download held at 1 s", texts(DN, DN_LOOKED), "1 | 1 | 64.00KB | 64.00KB");
        page.setTimeout(function () {
            check("download held at 3 s", texts(DN, DN_LOOKED), "1 | 1 | 64.00KB | 64.00KB");
            check("download speed when still", page.text(DN, 208), "0.00KB");
            check("download time left when still", page.text(DN, 260), "...");
            page.get(SERVER + "/__release");
            waitUntil("the download's end", function () { return page.text(DN, 227) === "종 료"; }, function () {
                check("download at its end", texts(DN, DN_LOOKED), "100 | 100 | 4.00MB | 4.00MB");
                check("download row", page.listText(DN, 219, 0, 1), "완 료");
                page.press(DN, 227);
                finish();
            });
        }, 2000);
    }, 1000);
});
