// One file, one entry, whatever name reaches it: the drop, the file dialog
// and a folder walk each bring it again by other letter case, its short 8.3
// name, a trailing dot or a trailing space (which Windows strips), and the
// list keeps the one entry; the folder's other file still comes in.
var up = page.create("PARVEX.ParvexUpCtrl.1", 10, 10, 520, 180);
up.SetLimitUploadSize(10);
var dir = FILES + "\\names", path = dir + "\\Long Report Name.txt";
var shortName = page.shortPath(path);
check("a short name of its own", shortName !== "" && shortName.toUpperCase() !== path.toUpperCase(), true);

page.dropFiles(up, [path, path.toUpperCase(), shortName, path + ".", path + " ",
                    dir.toLowerCase() + "\\long report name.TXT"].join("|"));
check("the drop", up.TotalUploadCount() + "/" + up.GetTotalUpSize(), "1/700");

var chosen = false;
whenWindow("Open", 1, function (caption) {
    chosen = page.setText(caption, 1148, shortName) && page.press(caption, 1);
});
up.AddFindFile();
check("file dialog answered", chosen, true);
check("the file dialog", up.TotalUploadCount() + "/" + up.GetTotalUpSize(), "1/700");

page.dropFiles(up, dir.toUpperCase());
check("the walk", up.TotalUploadCount() + "/" + up.GetTotalUpSize(), "2/1000");
check("the names", up.GetUpFileInfo().replace(/\/[^\/|]*\/0/g, ""), "Long Report Name.txt|:|NAMES\\other.txt");
check("no box", page.text("\uC5C5\uB85C\uB4DC\uC81C\uD55C", 0), "");
finish();
