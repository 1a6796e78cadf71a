// Rows of both kinds in two-budget mode, for the screenshot: a general
// file, a big one, an attachment from the mail and a file switched to big.
var up = page.create("PARVEX.ParvexUpCtrl.1", 10, 10, 520, 180);
up.SetUseType(1);
up.SetLimitGeneralSize(1);
up.SetLimitUploadSize(10);
up.SetLimitUploadBigSize(10);
page.dropFiles(up, FILES + "\\a.txt|" + FILES + "\\big.bin|" + FILES + "\\b.txt");
up.AttachFileFromMail("\uBCF4\uACE0\uC11C.hwp", "20240101_0", 2048);
page.click(up, 440, 30 + 2 * 17);
check("kinds", up.GetSmallTotalSize() + "/" + up.GetBigTotalSize(), (1000 + 2048) + "/" + (2097152 + 3000));
check("two-budget rows shot", page.screenshot("", SCREENS + "\\list-two-budget.png"), true);
finish();
