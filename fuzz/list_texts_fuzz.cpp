// The page's attached mail files and the texts the list gives back
// (GetUpFileInfo, the diagnostic list text, the row texts).
#include "fuzz/doubles.h"
#include "fuzz/fuzz_input.h"

using namespace parvex;
using namespace parvex::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    QuietList list;
    UploadListModel& model = list.model;
    model.SetLimitUploadCount(in.Byte() % 8);
    model.SetUseType(in.Byte() % 2);
    while (!in.Empty()) {
        switch (in.Byte() % 4) {
        case 0: {
            std::wstring name = in.Wide();
            std::wstring unique = in.Wide();
            model.AttachFileFromMail(name, unique, in.Number());
            break;
        }
        case 1:
            model.OnRowClick(in.Byte() % 10 - 1, in.Byte() % 5);
            break;
        case 2:
            model.OnHeaderCheckClick();
            model.DeleteFile();
            break;
        default:
            model.KindBitmapForRow(in.Byte() % 10 - 1);
            break;
        }
        FUZZ_CHECK(model.TotalUploadCount() == model.RowCount());
    }
    model.GetUpFileInfo();
    model.LinkListText();
    model.SetUseType(0);
    return 0;
}
