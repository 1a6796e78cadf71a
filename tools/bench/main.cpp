// parvex-bench --file F --upload-url URL --download-url URL --out DIR
// [--runs N] [--cli PATH] [--https-ca CA.pem]: the native rows of ./parvex
// bench. The file is uploaded to URL (the sink) and fetched from the download
// URL (nginx, which serves the same file) by parvex-cli and by curl in turn;
// one tab-separated row per client and direction with the median time and
// the peak memory. With --https-ca the URLs are https ones and both clients
// trust that authority (curl --cacert, SSL_CERT_FILE for parvex-cli).
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "bench.h"

int main(int argc, char** argv) {
    parvex::bench::Options o;
    std::string self = argv[0];
    o.cli = self.substr(0, self.find_last_of('/') + 1) + "parvex-cli";
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string name = argv[i], value = argv[i + 1];
        if (name == "--file")
            o.file = value;
        else if (name == "--upload-url")
            o.uploadUrl = value;
        else if (name == "--download-url")
            o.downloadUrl = value;
        else if (name == "--out")
            o.outDir = value;
        else if (name == "--runs")
            o.runs = std::atoi(value.c_str());
        else if (name == "--cli")
            o.cli = value;
        else if (name == "--https-ca")
            o.httpsCa = value;
        else
            o.runs = 0;
    }
    if (argc % 2 == 0 || o.file.empty() || o.uploadUrl.empty() || o.downloadUrl.empty() || o.outDir.empty() ||
        o.runs < 1 || o.downloadUrl.find("//") == std::string::npos) {
        std::fprintf(stderr,
                     "usage: parvex-bench --file F --upload-url URL --download-url URL --out DIR [--runs N] "
                     "[--cli PATH] [--https-ca CA.pem]\n");
        return 2;
    }
    // The command line's remembered folder stays out of the user's settings.
    setenv("PARVEX_SETTINGS", (o.outDir + "/settings").c_str(), 1);
    if (!o.httpsCa.empty()) setenv("SSL_CERT_FILE", o.httpsCa.c_str(), 1);
    bool ok = parvex::bench::BenchUpload(o);
    ok = parvex::bench::BenchDownload(o) && ok;
    return ok ? 0 : 1;
}
