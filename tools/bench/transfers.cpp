// Both directions of the native benchmark. Uploads go to the sink, which
// only reads; downloads come from nginx; each client's run is checked (its
// exit code, and for downloads the saved file byte for byte).
#include <sys/stat.h>

#include <cstdio>
#include <string>
#include <vector>

#include "bench.h"

namespace parvex::bench {
namespace {

struct Client {
    std::string name;
    std::vector<std::string> argv;
    std::string saved;  // the downloaded file to compare, empty for uploads
};

long long FileBytes(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? static_cast<long long>(st.st_size) : -1;
}

// curl's options for the run: silent, failing on an HTTP error, and trusting
// the benchmark's authority for https.
std::vector<std::string> Curl(const Options& o, std::vector<std::string> rest) {
    std::vector<std::string> argv = {"curl", "-s", "-f"};
    if (!o.httpsCa.empty()) argv.insert(argv.end(), {"--cacert", o.httpsCa});
    argv.insert(argv.end(), rest.begin(), rest.end());
    return argv;
}

// Runs the clients in turn, options.runs times, and prints a row for each.
bool Compare(const char* direction, const Options& options, std::vector<Client> clients) {
    if (!options.httpsCa.empty())
        for (Client& c : clients) c.name = "https-" + c.name;
    std::vector<std::vector<double>> seconds(clients.size());
    std::vector<long> peak(clients.size(), 0);
    bool ok = true;
    for (int run = 0; run < options.runs; ++run) {
        for (size_t c = 0; c < clients.size(); ++c) {
            if (!clients[c].saved.empty()) std::remove(clients[c].saved.c_str());
            Measured m = RunAndMeasure(clients[c].argv);
            bool good = m.exitCode == 0 && (clients[c].saved.empty() || SameContents(options.file, clients[c].saved));
            if (!clients[c].saved.empty()) std::remove(clients[c].saved.c_str());
            if (!good) {
                std::fprintf(stderr, "native %s: %s run %d failed (exit %d)\n", direction, clients[c].name.c_str(),
                             run + 1, m.exitCode);
                ok = false;
                continue;
            }
            seconds[c].push_back(m.seconds);
            if (m.peakRssKb > peak[c]) peak[c] = m.peakRssKb;
        }
    }
    for (size_t c = 0; c < clients.size(); ++c)
        std::printf("native\t%s\t%s\t%lld\t%.4f\t%ld\n", direction, clients[c].name.c_str(), FileBytes(options.file),
                    Median(seconds[c]), peak[c]);
    std::fflush(stdout);
    return ok;
}

}  // namespace

bool BenchUpload(const Options& o) {
    return Compare(
        "upload", o,
        {{"parvex-cli",
          {o.cli, "upload", "--url", o.uploadUrl, "--fields", "name,unique,file", "--title", "bench", o.file},
          ""},
         {"curl", Curl(o, {"-o", "/dev/null", "-F", "file=@" + o.file, o.uploadUrl}), ""}});
}

bool BenchDownload(const Options& o) {
    std::string path = o.downloadUrl.substr(o.downloadUrl.find('/', o.downloadUrl.find("//") + 2));
    std::string host = o.downloadUrl.substr(0, o.downloadUrl.size() - path.size()) + "/";
    return Compare("download", o,
                   {{"parvex-cli",
                     {o.cli, "download", "--host", host, "--dest", o.outDir, path, "parvex.bin"},
                     o.outDir + "/parvex.bin"},
                    {"curl", Curl(o, {"-o", o.outDir + "/curl.bin", o.downloadUrl}), o.outDir + "/curl.bin"}});
}

}  // namespace parvex::bench
