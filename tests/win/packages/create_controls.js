// Both controls created by their ProgIDs from whatever module the registry
// names, and a call into each; exits 1 when either fails.
var failures = 0;
function create(progId, use) {
    try {
        use(new ActiveXObject(progId));
    } catch (e) {
        WScript.Echo("FAIL " + progId + ": " + e.message);
        failures++;
    }
}
create("PARVEX.ParvexUpCtrl.1", function (up) {
    if (up.TotalUploadCount() !== 0) throw new Error("a fresh control counts files");
});
create("PARVEX.ParvexDnCtrl.1", function (dn) { dn.SetDnTitle("Tamsel Download"); });
WScript.Quit(failures ? 1 : 0);
