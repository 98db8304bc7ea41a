// projector-sim: a projector on a pseudo-terminal or a loopback TCP port, for
// trying the panel without the hardware. One thread, one poll() loop.
#include "line.h"
#include "options.h"
#include "report.h"
#include "simulator.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

using namespace projsim;

int main(int argc, char **argv)
{
    // A reader that went away is a failed write to report, not a silent death.
    std::signal(SIGPIPE, SIG_IGN);

    const CommandLine commandLine = parseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    if (commandLine.error) {
        std::fprintf(stderr, "projector-sim: %s\n%.*s", commandLine.error->c_str(),
                     static_cast<int>(kUsage.size()), kUsage.data());
        return 2;
    }
    if (commandLine.help)
        return print(stdout, kUsage) ? 0 : 1;
    const Options &opts = commandLine.options;
    blockStopSignals();

    std::FILE *log = nullptr;
    if (!opts.logPath.empty() && !(log = std::fopen(opts.logPath.c_str(), "w"))) {
        std::fprintf(stderr, "projector-sim: cannot open %s: %s\n", opts.logPath.c_str(), std::strerror(errno));
        return 1;
    }

    auto line = opts.tcp ? listenTcp(*opts.tcp) : openPty();
    if (!line) {
        complain(opts.tcp ? "cannot listen on TCP" : "cannot open a pseudo-terminal");
        return 1;
    }
    const std::string device = line->name;
    if (!opts.link.empty() && !makeLink(opts.link, device))
        return 1;

    int rc = print(stdout, device + '\n') ? Simulator(opts, std::move(*line), log).run() : 1;

    if (!opts.link.empty())
        removeLink(opts.link, device);
    if (log && std::fclose(log) != 0 && rc == 0) {
        complain("cannot write " + opts.logPath);
        rc = 1;
    }
    return rc;
}
