// The render tool's two kinds of failure: a bad command line, and bad input or a failed step.
#ifndef OSTREVIN_TOOLS_RENDER_ERRORS_H
#define OSTREVIN_TOOLS_RENDER_ERRORS_H

#include <stdexcept>
#include <string>

namespace render {

struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct RenderError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

} // namespace render

#endif
