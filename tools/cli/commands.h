// The subcommands of parvex-cli; each lives in its own file.
#pragma once

namespace parvex::cli {

int RunUploadCommand(int argc, char** argv);    // upload_command.cpp
int RunDownloadCommand(int argc, char** argv);  // download_command.cpp

}  // namespace parvex::cli
