// Three thousand files queued one call at a time into the open download
// dialog: each becomes a row as it is added (never by rebuilding the list),
// in order, and the page is answered throughout. The page logs how long the
// adding took; no figure is asserted.
var DN = "많은 파일";
var COUNT = 3000;
var up = page.create("PARVEX.ParvexUpCtrl.1", 10, 10, 520, 180);
up.SetDownHostUrl(SERVER + "/");
up.SetDnTitle(DN);
check("the first file", up.AddDownloadFile("/f0.bin", "f0.bin", 10, 1), 0);
up.DownloadStart();
waitUntil("the dialog open", function () { return page.text(DN, 0) === DN; }, function () {
    var start = new Date().getTime(), last = start, thousands = [];
    var refused = 0;
    for (var i = 1; i < COUNT; i++) {
        if (up.AddDownloadFile("/f" + i + ".bin", "f" + i + ".bin", 10, 1) !== 0) refused++;
        if (i % 1000 === 0 || i === COUNT - 1) {
            var now = new Date().getTime();
            thousands.push(now - last);
            last = now;
        }
    }
    // Linear time shows as thousands that take about as long as each other.
    page.log("queued " + (COUNT - 1) + " files into the open dialog in " + (last - start) + " ms (each thousand: " +
             thousands.join(", ") + " ms)");
    check("files refused", refused, 0);
    check("a name queued again", up.AddDownloadFile("/f1.bin", "f1.bin", 10, 1), -1);
    check("the first row", page.listText(DN, 219, 0, 0) + ":" + page.listText(DN, 219, 0, 1), "f0.bin:대 기");
    check("the middle row", page.listText(DN, 219, 1500, 0), "f1500.bin");
    check("the last row", page.listText(DN, 219, COUNT - 1, 0) + ":" + page.listText(DN, 219, COUNT - 1, 1),
          "f" + (COUNT - 1) + ".bin:대 기");
    check("no row beyond", page.listText(DN, 219, COUNT, 0), "");
    check("the total", page.text(DN, 224), " / 29.30KB");
    page.press(DN, 227);
    waitUntil("the dialog closed", function () { return page.text(DN, 0) === ""; }, finish);
});
