// Names the server already holds: overwritten, renamed to a free name,
// renamed to a taken one (which brings the prompt back) and skipped; then
// "for all" with skip and with overwrite, asked once for two files each.
// The test runner compares what the server holds afterwards.
var TITLE = "Tamsel Upload";
var up = uploadControl(TITLE);
up.UploadExistUrl(SERVER + "/exists");

function same(name, act) {
    return {caption: "Upload Same File", when: shows(250, name), act: act};
}
function rename(from, to) {
    return {caption: "Change Filename", when: shows(242, from), act: function (caption) {
        if (from === "rn.txt") check("rename shot", page.screenshot(caption, SCREENS + "\\change-filename.png"), true);
        page.setText(caption, 242, to);
        page.press(caption, 1);
    }};
}
function press(id) {
    return function (caption) { page.press(caption, id); };
}

page.dropFiles(up, FILES + "\\same\\ow.txt|" + FILES + "\\same\\rn.txt|" + FILES + "\\same\\tk.txt|" +
               FILES + "\\same\\sk.txt|" + FILES + "\\same\\new.txt");
check("one of each", uploadWith(up, [
    same("ow.txt", function (caption) {
        check("size shown", page.text(caption, 251), "1234");
        check("same-name shot", page.screenshot(caption, SCREENS + "\\upload-same-file.png"), true);
        page.press(caption, 253);
    }),
    same("rn.txt", press(254)),
    rename("rn.txt", "새 이름.txt"),
    same("tk.txt", press(254)),
    rename("tk.txt", "tk-taken.txt"),
    same("tk-taken.txt", press(255)),
    same("sk.txt", press(255))
]), 1);
check("list emptied", up.TotalUploadCount(), 0);

// The box ticked, then the answer: the second name is not asked about.
function forAll(id) {
    return function (caption) {
        page.press(caption, 252);
        page.press(caption, id);
    };
}
page.dropFiles(up, FILES + "\\same\\fa-skip1.txt|" + FILES + "\\same\\fa-skip2.txt");
check("skip for all", uploadWith(up, [same("fa-skip1.txt", forAll(255))]), 1);
page.dropFiles(up, FILES + "\\same\\fa-ow1.txt|" + FILES + "\\same\\fa-ow2.txt");
check("overwrite for all", uploadWith(up, [same("fa-ow1.txt", forAll(253))]), 1);

// An attachment already on the server is neither checked nor sent, even
// under a name the server holds: no prompt (one would stay up and be
// counted), and it counts as done.
up.AttachFileFromMail("ow.txt", "m-ow", 1234);
check("attachment from the mail", uploadWith(up, []), 1);
finish();
