// The module's side of the Windows upload benchmark, run in parvex-page: one
// big file dropped on the upload control and sent by UploadStart with the
// progress dialog up, to the sink at BASE. Prints "ms <milliseconds>".
var up = page.create("PARVEX.ParvexUpCtrl.1", 10, 10, 520, 180);
up.UploadUrlAddress("@BASE@/upload");
up.UpForm_Filename("name");
up.UpForm_UniqueFilename("unique");
up.UpForm_UpFile("file");
up.SetLimitUploadSize(@LIMIT_MB@);
up.SetUpTitle("Upload Benchmark");
page.dropFiles(up, "@FILE@");
var started = new Date().getTime();
var result = up.UploadStart(0);
page.log("ms " + (new Date().getTime() - started));
page.exit(result === 1 ? 0 : 1);
