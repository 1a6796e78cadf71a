// A browser whose document cannot be had: every admitted file shows the
// document message, which the page presses; the files stay added.
var up = page.create("PARVEX.ParvexUpCtrl.1", 10, 10, 520, 180);
var calls = 0, boxes = [];

function UpdateSize() { calls++; }

function answerBoxes() {
    whenWindow("Error", 65535, function (caption) {
        boxes.push(page.text(caption, 65535));
        page.press(caption, 1);
        if (boxes.length < 2) answerBoxes();
    });
}

up.SetLimitUploadSize(10);
answerBoxes();
page.dropFiles(up, FILES + "\\a.txt|" + FILES + "\\b.txt");
check("files added", up.TotalUploadCount(), 2);
check("total", up.GetTotalUpSize(), 4000);
check("UpdateSize calls", calls, 0);
check("messages", boxes.join("|"), "error get document|error get document");
finish();
