// What both subcommands need of the terminal: text out, lines in, message
// boxes, and the command line's cookie and paths.
#pragma once
#include <cstdint>
#include <mutex>
#include <string>

#include "common/cookies.h"
#include "common/message_box.h"

namespace parvex::cli {

// UTF-8 for the terminal, line breaks without their "\r", other control
// characters replaced by "?".
std::string Narrow(const std::wstring& text);
// One line from standard input without its line break; false at its end.
bool ReadLine(std::string& line);
// Serialises everything written to the terminal: a worker draws the bar and
// asks the prompts while the main thread prints the rest.
std::mutex& TerminalMutex();

// Message boxes on standard error. A question is asked on the terminal when
// there is one; otherwise it gets unattendedAnswer (IdYes or IdNo).
class TerminalMessageBox : public MessageBoxHost {
public:
    TerminalMessageBox(bool interactive, MessageAnswer unattendedAnswer)
        : interactive_(interactive), unattendedAnswer_(unattendedAnswer) {}
    MessageAnswer Show(const std::wstring& text, const std::wstring& caption, unsigned style) override;

private:
    bool interactive_;
    MessageAnswer unattendedAnswer_;
};

// The cookie text given on the command line, for every URL. Held as the
// system's narrow text reads it, so that it goes out byte for byte.
class FixedCookieStore : public CookieStore {
public:
    explicit FixedCookieStore(const std::string& text) : text_(AnsiToWide(text)) {}
    bool GetCookie(const std::wstring& url, wchar_t* buffer, uint32_t* size) override;

private:
    std::wstring text_;
};

// After a failed run: one connection to the URL's host and port, and when
// that fails too, a line naming host, port and the system's reason.
void ReportConnectProblem(const std::string& url);

// An absolute path with the core's "\" separators (the file system maps
// them back).
std::wstring CorePath(const std::string& argument);

}  // namespace parvex::cli
