// Reads one payload from standard input as a node reads it from the broker, and says whether the
// node takes it: for the tests of what other programs (the web console) publish.
//
//   halvix_read_wire command|emergency < PAYLOAD
//
// Status 0 and nothing printed when it is taken, 1 with the reader's reason when it is refused,
// 2 for bad usage.
#include "campus/Command.h"
#include "emergency/EmergencyState.h"

#include <cstdio>
#include <iostream>
#include <iterator>
#include <string>
#include <string_view>

int main(int argc, char* argv[]) {
    const std::string_view kind = argc == 2 ? argv[1] : "";
    if (kind != "command" && kind != "emergency") {
        std::fprintf(stderr, "usage: %s command|emergency < PAYLOAD\n", argv[0]);
        return 2;
    }
    const std::string payload(std::istreambuf_iterator<char>(std::cin), {});
    const std::string problem = kind == "command" ? halvix::campus::readCommand(payload).problem
                                                  : halvix::readEmergency(payload).problem;
    if (problem.empty())
        return 0;
    std::printf("%s\n", problem.c_str());
    return 1;
}
