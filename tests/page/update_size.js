// The page's UpdateSize runs once for every file a drop or a folder walk
// admits and for every switch of kind, never for the file dialog or for
// attachments taken from the mail.
var up = page.create("PARVEX.ParvexUpCtrl.1", 10, 10, 520, 180);
var calls = [];

function UpdateSize() {
    calls.push(up.TotalUploadCount() + "/" + up.GetTotalUpSize() + "/" + up.GetBigTotalSize());
}

up.SetLimitUploadSize(10);
up.SetLimitUploadBigSize(10);
check("empty list shot", page.screenshot("", SCREENS + "\\list-empty.png"), true);

// Two files (1000 and 3000 bytes) and a folder of three (100, 200, 300).
page.dropFiles(up, FILES + "\\a.txt|" + FILES + "\\b.txt|" + FILES + "\\docs");
check("calls after the drop", calls.length, 5);
check("first call", calls[0], "1/1000/0");
check("second call", calls[1], "2/4000/0");
check("last call", calls[4], "5/4600/0");
var grew = calls.length === 5;
for (var i = 2; i < calls.length; i++) {
    var step = parseInt(calls[i].split("/")[1], 10) - parseInt(calls[i - 1].split("/")[1], 10);
    grew = grew && (step === 100 || step === 200 || step === 300) && calls[i].split("/")[0] === String(i + 1);
}
check("each walked file counted once, in its call", grew, true);
var info = up.GetUpFileInfo();
check("walked names keep the folder", info.indexOf("docs\\") >= 0, true);

up.AttachFileFromMail("\uBCF4\uACE0\uC11C.hwp", "20240101_0", 2048);
check("calls after AttachFileFromMail", calls.length, 5);
check("count after AttachFileFromMail", up.TotalUploadCount(), 6);

// The file dialog, answered by the page: the name typed, then Open.
var chosen = false;
whenWindow("Open", 1, function (caption) {
    chosen = page.setText(caption, 1148, FILES + "\\c.txt") && page.press(caption, 1);
});
up.AddFindFile();
check("file dialog answered", chosen, true);
check("count after the file dialog", up.TotalUploadCount(), 7);
check("total after the file dialog", up.GetTotalUpSize(), 4600 + 2048 + 500);
check("calls after the file dialog", calls.length, 5);
check("single-budget rows shot", page.screenshot("", SCREENS + "\\list-rows.png"), true);

// Two budgets: a click on column 3 of the first row makes it big, once.
up.SetUseType(1);
page.click(up, 440, 30);
check("calls after the switch", calls.length, 6);
check("switch moved the file to big", calls[5], "7/7148/1000");
finish();
