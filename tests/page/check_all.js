// Two upload controls on one page: each list's header box ticks and unticks
// its own rows, whatever was done to the other's.
var a = page.create("PARVEX.ParvexUpCtrl.1", 10, 10, 520, 180);
var b = page.create("PARVEX.ParvexUpCtrl.1", 10, 200, 520, 180);
function rowY(row) { return 30 + 17 * row; }
for (var i = 0; i < 2; i++) {
    a.AttachFileFromMail("a" + i + ".eml", "a" + i, 10);
    b.AttachFileFromMail("b" + i + ".eml", "b" + i, 10);
}
page.click(a, 8, 8);            // a: every row ticked
page.click(b, 8, rowY(0));      // b: one row of two, so b's box stays empty
page.click(a, 8, 8);            // a's own box was ticked: every a row unticked
a.DeleteFile();
check("a kept its unticked rows", a.TotalUploadCount(), 2);
page.click(b, 8, 8);            // b's own box was empty: every b row ticked
b.DeleteFile();
check("b lost its ticked rows", b.TotalUploadCount(), 0);
page.click(a, 8, 8);
a.DeleteFile();
check("a lost its ticked rows", a.TotalUploadCount(), 0);
finish();
