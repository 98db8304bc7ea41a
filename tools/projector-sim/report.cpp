#include "report.h"

#include <cerrno>
#include <cstring>

namespace projsim {

bool complain(const std::string &what)
{
    std::fprintf(stderr, "projector-sim: %s: %s\n", what.c_str(), std::strerror(errno));
    return false;
}

bool print(std::FILE *out, std::string_view text)
{
    return (std::fwrite(text.data(), 1, text.size(), out) == text.size() && std::fflush(out) == 0)
           || complain("cannot write standard output");
}

} // namespace projsim
