// The module's side of the Windows download benchmark, run in parvex-page:
// one big file (or several of one size, NAME a list split at spaces) from
// nginx at BASE through the upload control's download dialog, from the press of the start button to the end of the run. Prints
// "ms <milliseconds>".
var DN = "Download Benchmark";
var up = page.create("PARVEX.ParvexUpCtrl.1", 10, 10, 520, 180);
up.SetDownHostUrl("@BASE@/");
up.SetDnTitle(DN);
var names = "@NAME@".split(" ");
for (var i = 0; i < names.length; i++) up.AddDownloadFile("/" + names[i], names[i], @BYTES@, 1);
up.DownloadStart();
var started;
// Pressed as a user presses it: once the dialog has been drawn (the page's
// timers come after every window's painting).
page.setTimeout(function () {
    started = new Date().getTime();
    page.press(DN, 228);
    page.setTimeout(poll, 20);
}, 0);
function poll() {
    if (page.text(DN, 227) !== "종 료") {
        page.setTimeout(poll, 20);
        return;
    }
    page.log("ms " + (new Date().getTime() - started));
    var summary = page.text("Download Complete Infomation", 65535);
    page.exit(summary === "" ? 0 : 1);
}
