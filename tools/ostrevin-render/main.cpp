// ostrevin-render: runs the texture over a scene the way the host does and draws what it answers.
#include <cstdio>
#include <string>
#include <vector>

#include "tools/ostrevin-render/cli.h"

int main(int argc, char **argv)
{
    try {
        return render::runCommand(std::vector<std::string>(argv + 1, argv + argc), stdout, stderr);
    } catch (...) {
        std::fputs("ostrevin-render: unexpected failure\n", stderr);
        return render::exitFailure;
    }
}
