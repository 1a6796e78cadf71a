// Stands in for the download list until it is linked in: nothing is queued.
#include "download_bridge.h"

namespace parvex {

short DownloadAddFile(const std::wstring&, const std::wstring&, double, int) { return 0; }
void DownloadStartSession() {}

}  // namespace parvex
