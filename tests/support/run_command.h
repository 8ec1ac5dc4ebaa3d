// Runs a shell command for a test (tshark and the like) and gives back what it printed on its
// standard output; empty when the command could not be started.
#pragma once

#include <cstdio>
#include <string>

namespace qzl_test {

inline std::string RunCommand(const std::string& command)
{
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return output;
    }
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof(buffer), pipe)) > 0) {
        output.append(buffer, n);
    }
    pclose(pipe);
    return output;
}

}  // namespace qzl_test
