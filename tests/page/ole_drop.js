// Files dragged from another program arrive through OLE (DoDragDrop onto the
// list's drop target) and take the same route as a WM_DROPFILES drop: each
// admitted file calls UpdateSize; the older drop still works beside it.
var up = page.create("PARVEX.ParvexUpCtrl.1", 10, 10, 520, 180);
var calls = 0;

function UpdateSize() { calls++; }

up.SetLimitUploadSize(10);
check("dropped through OLE", page.oleDropFiles(up, FILES + "\\a.txt|" + FILES + "\\docs"), true);
check("files added", up.TotalUploadCount(), 4);
check("total", up.GetTotalUpSize(), 1000 + 600);
check("UpdateSize calls", calls, 4);
page.dropFiles(up, FILES + "\\b.txt");
check("a WM_DROPFILES drop beside it", up.TotalUploadCount() + "/" + up.GetTotalUpSize(), "5/4600");
finish();
