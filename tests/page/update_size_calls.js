// A page whose UpdateSize tries to change the list in the middle of a drop
// of six files and of a walk over a folder of five: every such call does
// nothing (UploadStart returns 0), the getters answer, and afterwards every
// row shows the entry behind it, so that the row a click ticks is the file
// DeleteFile removes.
var up = page.create("PARVEX.ParvexUpCtrl.1", 10, 10, 520, 420);
up.SetLimitUploadSize(10);

function rowY(row) { return 30 + 17 * row; }

// A box would mean that a refused call went through; it is counted and
// dismissed so that the page goes on.
var BOXES = [["Warning", 7], ["\uC54C\uB9BC", 1], ["Limit Upload File Count", 1], ["Limit Upload File Size", 1],
             ["\uC5C5\uB85C\uB4DC\uC81C\uD55C", 1]];
function watch() {
    for (var i = 0; i < BOXES.length; i++) {
        if (page.text(BOXES[i][0], 0) !== BOXES[i][0]) continue;
        page.log("FAIL a box came: " + BOXES[i][0]);
        failures++;
        page.press(BOXES[i][0], BOXES[i][1]);
    }
    page.setTimeout(watch, 100);
}
page.setTimeout(watch, 0);

var calls = 0, base = 0;
function UpdateSize() {
    calls++;
    var before = up.GetUpFileInfo() + "/" + up.TotalUploadCount() + "/" + up.GetTotalUpSize();
    check("count seen by call " + calls, up.TotalUploadCount(), base + calls);
    check("UploadStart in call " + calls, up.UploadStart(0), 0);
    up.AttachFileFromMail("meddle.eml", "m" + calls, 10);
    up.DeleteFile();
    page.dropFiles(up, FILES + "\\big.bin");
    up.SetLimitUploadCount(1);
    up.UploadExtFilter(".txt");
    check("list after call " + calls, up.GetUpFileInfo() + "/" + up.TotalUploadCount() + "/" + up.GetTotalUpSize(),
          before);
}

// Row i names entry i of GetUpFileInfo, and no row is left over.
function rowsMatch(what) {
    var items = up.GetUpFileInfo().split("|:|"), names = [], shown = [];
    for (var i = 0; i <= items.length; i++) {
        names.push(i < items.length ? items[i].split("/")[0] : "");
        shown.push(page.listText(up, 203, i, 1));
    }
    check(what + ": rows", shown.join("|"), names.join("|"));
}

// Ticks row by a click and deletes: exactly that entry leaves.
function deleteRow(row, what) {
    var items = up.GetUpFileInfo().split("|:|");
    page.click(up, 8, rowY(row));
    up.DeleteFile();
    items.splice(row, 1);
    check(what + ": DeleteFile took the ticked row", up.GetUpFileInfo(), items.join("|:|"));
    rowsMatch(what + ", after DeleteFile");
}

// A ticked attachment first: a DeleteFile that went through would take it.
up.AttachFileFromMail("keep.eml", "k0", 10);
page.click(up, 8, rowY(0));
base = 1;
page.dropFiles(up, [FILES + "\\a.txt", FILES + "\\b.txt", FILES + "\\c.txt", FILES + "\\docs\\one.txt",
                    FILES + "\\docs\\two.txt", FILES + "\\docs\\three.txt"].join("|"));
check("calls of the drop", calls, 6);
check("count after the drop", up.TotalUploadCount(), 7);
check("the ticked attachment stays", up.GetUpFileInfo().indexOf("keep.eml/k0/2|:|a.txt/"), 0);
rowsMatch("drop");
page.click(up, 8, rowY(0));
deleteRow(4, "drop");

page.click(up, 8, rowY(0));
calls = 0;
base = 6;
page.dropFiles(up, FILES + "\\five");
check("calls of the walk", calls, 5);
check("count after the walk", up.TotalUploadCount(), 11);
check("walked names", up.GetUpFileInfo().split("five\\").length, 6);
rowsMatch("walk");
page.click(up, 8, rowY(0));
deleteRow(8, "walk");
finish();
