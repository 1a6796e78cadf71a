// Without a browser the control calls no page function and shows nothing:
// a timer set before the drop would fire inside a message box's loop.
var up = page.create("PARVEX.ParvexUpCtrl.1", 10, 10, 520, 180);
var calls = 0, dropping = false;

function UpdateSize() { calls++; }

up.SetLimitUploadSize(10);
page.setTimeout(function () {
    if (!dropping) return;
    check("a modal loop ran during the drop", true, false);
    finish();
}, 0);
dropping = true;
page.dropFiles(up, FILES + "\\a.txt|" + FILES + "\\docs");
dropping = false;
check("files added", up.TotalUploadCount(), 4);
check("UpdateSize calls", calls, 0);
finish();
