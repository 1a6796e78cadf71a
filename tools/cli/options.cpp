#include "options.h"

#include <getopt.h>

#include <cctype>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "common/url.h"
#include "common/utf8.h"

namespace parvex::cli {
namespace {

std::string g_prefix = "parvex-cli: ";

// One option of a command: its long name, the value's name (null: none),
// the id getopt_long returns, and the help text (meaning, default, unit).
struct Option {
    const char* name;
    const char* value;
    int id;
    const char* help;
};

enum : int {
    OptHelp = 'h',
    OptUrl = 256,
    OptExistUrl,
    OptFields,
    OptExpect,
    OptCookie,
    OptTitle,
    OptLimitSize,
    OptLimitCount,
    OptUseType,
    OptBigSize,
    OptSame,
    OptMissing,
    OptHost,
    OptDest,
    OptExists,
    OptNoResume,
};

const Option kUploadOptions[] = {
    {"url", "URL", OptUrl, "where the files are posted (http[s]://HOST[:PORT]/PATH[?QUERY]); required"},
    {"exist-url", "URL", OptExistUrl,
     "asked first whether the server holds a file of that name (only its path is used; the\n"
     "check goes to --url's host and port); default: no check"},
    {"fields", "NAME,UNIQUE,FILE", OptFields,
     "the form's field names for the file name, the unique name and the file part;\n"
     "default: none (empty names; PHP, for one, drops unnamed parts: give them)"},
    {"expect-continue", nullptr, OptExpect,
     "send \"Expect: 100-continue\" and wait for the server's go-ahead, at most 1 second;\n"
     "default: off"},
    {"cookie", "TEXT", OptCookie, "Cookie header sent with every request, byte for byte (UTF-8); default: none"},
    {"title", "TEXT", OptTitle, "the run's title on the terminal; default: \"Tamsel Upload\""},
    {"limit-size", "MB", OptLimitSize,
     "budget of the files together (of the general ones with --use-type 1), in megabytes;\n"
     "default: room for every file given"},
    {"limit-count", "N", OptLimitCount, "most files in one upload; default: no limit"},
    {"use-type", "0|1", OptUseType, "1: two budgets, general files and big ones (see --big-size); default: 0"},
    {"big-size", "MB", OptBigSize, "budget of the big files with --use-type 1, in megabytes; default: room for all"},
    {"same", "overwrite|skip|rename:NAME", OptSame,
     "answer when the server holds the name; default: ask on a terminal, skip without one"},
    {"missing", "skip|cancel", OptMissing,
     "answer for a file that vanished before its turn; default: ask on a terminal; without one\n"
     "skip it, and the upload exits 1"},
    {"help", nullptr, OptHelp, "this text"},
};

const Option kDownloadOptions[] = {
    {"host", "URL", OptHost, "the download host (http[s]://HOST[:PORT]/; its path is not used); required"},
    {"dest", "DIR", OptDest,
     "save folder for this run, created when missing; default: the remembered one\n"
     "(~/.config/parvex/settings or $PARVEX_SETTINGS; at first the documents folder)"},
    {"cookie", "TEXT", OptCookie, "Cookie header sent with every request, byte for byte; default: none"},
    {"title", "TEXT", OptTitle, "the session's title; default: the control's"},
    {"exists", "overwrite|skip|rename:NAME", OptExists,
     "answer for names already in the save folder; default: ask on a terminal, skip without one"},
    {"no-resume", nullptr, OptNoResume,
     "start every file from its first byte: a transfer cut short is tried again from the start,\n"
     "and a part an earlier run kept is not gone on with; default: go on with the part"},
    {"help", nullptr, OptHelp, "this text"},
};

const char kUploadUsage[] =
    "usage: parvex-cli upload --url URL [OPTION...] FILE...\n"
    "Uploads the FILEs as one upload, each as multipart/form-data.\n";
const char kDownloadUsage[] =
    "usage: parvex-cli download --host URL [OPTION...] PATH NAME [PATH NAME...]\n"
    "Fetches each server PATH into the save folder as NAME, as one batch.\n";
const char kExitCodes[] =
    "Exit codes: 0 every file done (skipped ones count as done), 1 some file failed,\n"
    "2 bad usage (nothing was sent), 130 interrupted (Ctrl-C; a second one quits at once).\n";

// Bad usage: the message, a pointer to --help, exit code 2.
int Usage(const char* format, ...) {
    std::fputs(g_prefix.c_str(), stderr);
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
    std::fprintf(stderr, "\n%s--help lists the options\n", g_prefix.c_str());
    return 2;
}

template <size_t N>
void PrintHelp(const char* usage, const Option (&table)[N]) {
    std::fputs(usage, stdout);
    std::fputs("Options:\n", stdout);
    for (const Option& o : table) {
        std::string head = std::string("  --") + o.name + (o.value ? std::string(" ") + o.value : "");
        std::string help = o.help;
        for (size_t at = 0; (at = help.find('\n', at)) != std::string::npos; at += 7) help.insert(at + 1, 6, ' ');
        std::printf("%s\n      %s\n", head.c_str(), help.c_str());
    }
    std::fputs(kExitCodes, stdout);
}

// getopt_long over argv (argv[0] is the command's name); take(id, value)
// gives kRunCommand to go on. Operands are gathered in their order.
template <size_t N, class Take>
int Parse(int argc, char** argv, const Option (&table)[N], const char* usage, std::vector<std::string>& operands,
          Take take) {
    std::vector<option> longs;
    for (const Option& o : table) longs.push_back({o.name, o.value ? required_argument : no_argument, nullptr, o.id});
    longs.push_back({nullptr, 0, nullptr, 0});
    opterr = 0;
    optind = 0;  // a fresh scan
    for (;;) {
        int id = getopt_long(argc, argv, ":h", longs.data(), nullptr);
        if (id == -1) break;
        if (id == OptHelp) {
            PrintHelp(usage, table);
            return 0;
        }
        if (id == '?') {
            if (optopt != 0) return Usage("unknown option -%c", optopt);
            return Usage("unknown option %s", argv[optind - 1]);
        }
        if (id == ':') return Usage("%s needs a value", argv[optind - 1]);
        int r = take(id, optarg ? std::string(optarg) : std::string());
        if (r != kRunCommand) return r;
    }
    for (int i = optind; i < argc; ++i) operands.push_back(argv[i]);
    return kRunCommand;
}

bool ParseNumber(const std::string& text, double& value) {
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return !text.empty() && end && *end == '\0' && std::isfinite(value) && value >= 0;
}

// Why a URL cannot be used; empty when it can.
std::string UrlProblem(const std::string& text, bool needsPath) {
    if (!IsValidUtf8(text.data(), text.size())) return "is not UTF-8";
    size_t scheme = text.find("://");
    if (scheme == std::string::npos) return "has no scheme; write http[s]://HOST[:PORT]/PATH";
    std::string name = text.substr(0, scheme);
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (name != "http" && name != "https") return "uses " + name + "://; only http:// and https:// are supported";
    std::wstring url = FromUtf8(text);
    switch (FindUrlFault(url)) {
    case UrlFault::None:
        break;
    case UrlFault::Scheme:  // named by the checks above already
        return "has no scheme; write http[s]://HOST[:PORT]/PATH";
    case UrlFault::ControlCharacters:
        return "holds control characters";
    case UrlFault::NoHost:
        return "names no host";
    case UrlFault::MalformedHost:
        return "has a malformed host (an IPv6 address goes whole in brackets: [::1])";
    case UrlFault::MalformedPort:
        return "has a malformed port (only digits after the host's colon)";
    case UrlFault::PortOutOfRange:
        return "has a port out of range (1-65535)";
    }
    if (needsPath && !IsUsableUploadUrl(url)) return "has no path after the host";
    return "";
}

int CheckUrl(const char* option, const std::string& url, bool needsPath) {
    std::string problem = UrlProblem(url, needsPath);
    if (problem.empty()) return kRunCommand;
    return Usage("%s \"%s\" %s", option, url.c_str(), problem.c_str());
}

// A text that goes into the request head byte for byte.
int CheckCookie(const std::string& cookie) {
    if (IsValidUtf8(cookie.data(), cookie.size()) && IsHeaderSafe(FromUtf8(cookie))) return kRunCommand;
    return Usage("--cookie takes UTF-8 text without control characters");
}

// "overwrite", "skip" or "rename:NAME".
bool IsAnswer(const std::string& value) {
    return value == "overwrite" || value == "skip" || (value.rfind("rename:", 0) == 0 && value.size() > 7);
}

int TakeUploadOption(int id, const std::string& value, UploadOptions& o) {
    double number = 0;
    bool numeric = id == OptLimitSize || id == OptLimitCount || id == OptUseType || id == OptBigSize;
    if (numeric && !ParseNumber(value, number)) return Usage("a number is needed, not \"%s\"", value.c_str());
    switch (id) {
    case OptUrl:
        o.url = value;
        break;
    case OptExistUrl:
        o.existUrl = value;
        break;
    case OptFields: {
        size_t a = value.find(','), b = a == std::string::npos ? a : value.find(',', a + 1);
        if (b == std::string::npos || value.find(',', b + 1) != std::string::npos)
            return Usage("--fields takes three names separated by commas");
        o.fieldNames = {FromUtf8(value.substr(0, a)), FromUtf8(value.substr(a + 1, b - a - 1)),
                        FromUtf8(value.substr(b + 1))};
        break;
    }
    case OptExpect:
        o.expectContinue = true;
        break;
    case OptCookie:
        o.cookie = value;
        return CheckCookie(value);
    case OptTitle:
        o.title = value;
        break;
    case OptLimitSize:
        o.limitSize = number;
        break;
    case OptLimitCount:
        o.limitCount = number;
        break;
    case OptUseType:
        if (number != 0 && number != 1) return Usage("--use-type takes 0 or 1");
        o.useType = number;
        break;
    case OptBigSize:
        o.bigSize = number;
        break;
    case OptSame:
        if (!IsAnswer(value)) return Usage("--same takes overwrite, skip or rename:NAME");
        o.same = value;
        break;
    case OptMissing:
        if (value != "skip" && value != "cancel") return Usage("--missing takes skip or cancel");
        o.missing = value;
        break;
    }
    return kRunCommand;
}

int TakeDownloadOption(int id, const std::string& value, DownloadOptions& o) {
    switch (id) {
    case OptHost:
        o.host = value;
        break;
    case OptDest:
        o.dest = value;
        break;
    case OptCookie:
        o.cookie = value;
        o.haveCookie = true;
        return CheckCookie(value);
    case OptTitle:
        o.title = value;
        o.haveTitle = true;
        break;
    case OptExists:
        if (!IsAnswer(value)) return Usage("--exists takes overwrite, skip or rename:NAME");
        o.existsAction = value == "overwrite" ? 'o' : value == "skip" ? 'c' : 'r';
        if (o.existsAction == 'r') o.renameTo = FromUtf8(value.substr(7));
        break;
    case OptNoResume:
        o.resume = false;
        break;
    }
    return kRunCommand;
}

// A save folder that is there, or can be made: the nearest existing folder
// on its way must be a folder.
int CheckDest(const std::string& dest) {
    if (dest.empty()) return kRunCommand;
    std::error_code ec;
    std::filesystem::path p = std::filesystem::absolute(dest, ec);
    while (!ec && !std::filesystem::exists(p, ec) && p.has_parent_path() && p != p.parent_path()) p = p.parent_path();
    if (!ec && std::filesystem::is_directory(p, ec)) return kRunCommand;
    return Usage("--dest \"%s\" is not a folder", dest.c_str());
}

}  // namespace

const char* MessagePrefix() { return g_prefix.c_str(); }

void SetCommand(const char* name) { g_prefix = std::string("parvex-cli ") + name + ": "; }

void PrintMainHelp() {
    std::printf(
        "usage: parvex-cli upload --url URL [OPTION...] FILE...\n"
        "       parvex-cli download --host URL [OPTION...] PATH NAME [PATH NAME...]\n"
        "       parvex-cli --help | --version\n"
        "Uploads files to and downloads files from a web-mail server the way the page's\n"
        "controls do. `parvex-cli COMMAND --help` lists a command's options.\n%s",
        kExitCodes);
}

int ParseUploadCommandLine(int argc, char** argv, UploadOptions& o) {
    int r = Parse(argc, argv, kUploadOptions, kUploadUsage, o.files,
                  [&](int id, const std::string& value) { return TakeUploadOption(id, value, o); });
    if (r != kRunCommand) return r;
    if (o.url.empty()) return Usage("--url is required");
    if ((r = CheckUrl("--url", o.url, true)) != kRunCommand) return r;
    if (!o.existUrl.empty() && (r = CheckUrl("--exist-url", o.existUrl, true)) != kRunCommand) return r;
    if (o.files.empty()) return Usage("no file given");
    return kRunCommand;
}

int ParseDownloadCommandLine(int argc, char** argv, DownloadOptions& o) {
    int r = Parse(argc, argv, kDownloadOptions, kDownloadUsage, o.positional,
                  [&](int id, const std::string& value) { return TakeDownloadOption(id, value, o); });
    if (r != kRunCommand) return r;
    if (o.host.empty()) return Usage("--host is required");
    if ((r = CheckUrl("--host", o.host, false)) != kRunCommand) return r;
    if (o.positional.empty() || o.positional.size() % 2 != 0) return Usage("PATH and NAME come in pairs");
    return CheckDest(o.dest);
}

}  // namespace parvex::cli
