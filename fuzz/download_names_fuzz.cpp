// The file names a page gives for downloads, and where they would be saved.
#include "common/file_system.h"
#include "download/file_name_rules.h"
#include "download/target_path.h"
#include "fuzz/doubles.h"
#include "fuzz/fuzz_input.h"

using namespace parvex;
using namespace parvex::fuzz;

namespace {

bool HasParentStep(const std::wstring& name) {
    size_t start = 0;
    for (size_t i = 0; i <= name.size(); ++i) {
        if (i == name.size() || name[i] == L'\\' || name[i] == L'/') {
            if (name.compare(start, i - start, L"..") == 0 && i - start == 2) return true;
            start = i + 1;
        }
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static TempFolder folder;
    FuzzInput in(data, size);
    std::wstring name = in.Wide();
    bool acceptable = IsAcceptableDownloadName(name);
    FUZZ_CHECK(acceptable == (IsNameInsideFolder(name) && IsStorableName(name)));
    if (acceptable) FUZZ_CHECK(!HasParentStep(name) && name.find(L':') == std::wstring::npos);
    NamesFolder(name);

    std::wstring target;
    TargetKind kind = PrepareTarget(LocalFileSystem(), folder.core, name, target);
    if (kind == TargetKind::File) {
        FUZZ_CHECK(acceptable);
        FUZZ_CHECK(target.compare(0, folder.core.size() + 1, folder.core + L"\\") == 0);
    }
    folder.Clear();
    return 0;
}
