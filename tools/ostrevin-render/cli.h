// The whole command: options, import, render and summary, with every failure turned into one
// "ostrevin-render: ..." line and an exit status.
#ifndef OSTREVIN_TOOLS_RENDER_CLI_H
#define OSTREVIN_TOOLS_RENDER_CLI_H

#include <cstdio>
#include <string>
#include <vector>

namespace render {

enum ExitStatus { exitOk = 0, exitFailure = 1, exitUsage = 2 };

// The arguments after the program name; the summary goes to `out`, progress and errors to `err`.
int runCommand(const std::vector<std::string> &args, std::FILE *out, std::FILE *err);

} // namespace render

#endif
