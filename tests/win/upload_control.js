// A page script's use of the upload control, run by cscript outside any
// browser: the control has no window, so its list lives on its own.
var failures = 0;

function check(what, got, want) {
    if (got !== want) {
        WScript.Echo("FAIL " + what + ": got [" + got + "] want [" + want + "]");
        failures++;
    }
}

function throws(what, action) {
    try {
        action();
    } catch (e) {
        return;
    }
    WScript.Echo("FAIL " + what + ": no error");
    failures++;
}

var up = new ActiveXObject("PARVEX.ParvexUpCtrl.1");

check("fresh count", up.TotalUploadCount(), 0);
check("fresh total", up.GetTotalUpSize(), 0);
check("fresh small", up.GetSmallTotalSize(), 0);
check("fresh big", up.GetBigTotalSize(), 0);
check("fresh info", up.GetUpFileInfo(), "");

// The page's configuration: every setter takes its value and says nothing.
up.SetLimitUploadCount(1);
up.SetLimitUploadSize(10);
up.SetLimitUploadBigSize(2048);
up.SetLimitGeneralSize(10);
up.SetLimitFileSize(0);
up.UploadUrlAddress("http://127.0.0.1:8080/mail/upload.php?sid=1");
up.UploadExistUrl("http://127.0.0.1:8080/mail/exist.php");
up.UpForm_Filename("filename");
up.UpForm_UniqueFilename("uniquename");
up.UpForm_UpFile("upfile");
up.SetUpTitle("\uCCA8\uBD80 \uC62C\uB9AC\uAE30");
up.SetDnTitle("\uCCA8\uBD80 \uBC1B\uAE30");
up.SetDownHostUrl("http://127.0.0.1:8080/");
up.SetUseType(1);
up.ExpectContinueValue(true);
up.ExpectContinueValue(false);
up.UploadExtFilter("exe;bat");
up.SetDownLimitCount(3);
up.SetDownLimitSize(3);

// Attachments already on the server are taken as they are: no count limit,
// no budget, sizes kept as the page gave them.
up.AttachFileFromMail("\uBCF4\uACE0\uC11C.hwp", "20240101123456_0", 1048576);
up.AttachFileFromMail("\uC0AC\uC9C4 \uBAA8\uC74C.zip", "20240101123456_1", 5242880.5);
up.AttachFileFromMail("notes.txt", "20240101123456_2", 0);

check("count", up.TotalUploadCount(), 3);
check("total", up.GetTotalUpSize(), 6291456.5);
check("small", up.GetSmallTotalSize(), 6291456.5);
check("big", up.GetBigTotalSize(), 0);
check("info", up.GetUpFileInfo(),
      "\uBCF4\uACE0\uC11C.hwp/20240101123456_0/2|:|" +
      "\uC0AC\uC9C4 \uBAA8\uC74C.zip/20240101123456_1/2|:|" +
      "notes.txt/20240101123456_2/2");

// Nothing is checked, so nothing is deleted.
up.DeleteFile();
check("count after DeleteFile", up.TotalUploadCount(), 3);

// Wrong calls are errors for the script, not crashes.
throws("missing arguments", function () { up.AttachFileFromMail("a.txt"); });
throws("size that is no number", function () { up.SetLimitUploadSize("\uB9CE\uC774"); });
check("count after errors", up.TotalUploadCount(), 3);

// A second control has its own list and totals.
var other = new ActiveXObject("PARVEX.ParvexUpCtrl.1");
check("second count", other.TotalUploadCount(), 0);
other.AttachFileFromMail("x.pdf", "u9", 2048);
check("second total", other.GetTotalUpSize(), 2048);
check("second info", other.GetUpFileInfo(), "x.pdf/u9/2");
check("first total kept", up.GetTotalUpSize(), 6291456.5);
check("first count kept", up.TotalUploadCount(), 3);

var dn = new ActiveXObject("PARVEX.ParvexDnCtrl.1");
check("download control AddDownloadFile", dn.AddDownloadFile("/mail/f?id=1", "f.txt", 10, 1), 0);
check("download control AddDownloadFiles", dn.AddDownloadFiles("f.txt", 10, 1), 0);

if (failures > 0) {
    WScript.Echo(failures + " check(s) failed");
    WScript.Quit(1);
}
WScript.Echo("upload control script: all checks passed");
WScript.Quit(0);
