// The page's extension filter and the paths it keeps out of the list.
#include "fuzz/doubles.h"
#include "fuzz/fuzz_input.h"

using namespace parvex;
using namespace parvex::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    QuietList list;
    UploadListModel& model = list.model;
    model.UploadExtFilter(in.Wide());
    model.UploadExtFilter(in.Wide());
    while (!in.Empty()) {
        std::wstring path = in.Wide();
        bool filtered = model.IsFilteredPath(path);
        // A path ending in a token of the filter is kept out.
        for (const FilterToken& t : model.Filter())
            if (!t.token.empty() && path.size() >= t.token.size() &&
                path.compare(path.size() - t.token.size(), t.token.size(), t.token) == 0)
                FUZZ_CHECK(filtered);
    }
    return 0;
}
