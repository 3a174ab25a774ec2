// tovex: builds Windows launcher executables for Java applications.
#include <iostream>
#include <string>
#include <vector>

#include "CommandLine.h"
#include "ExitCode.h"
#include "FileIo.h"
#include "NewProject.h"

#ifndef TOVEX_VERSION
#define TOVEX_VERSION "0.0.0-dev"
#endif

namespace {

template <class... Handlers>
struct Overloaded : Handlers... {
    using Handlers::operator()...;
};
template <class... Handlers>
Overloaded(Handlers...) -> Overloaded<Handlers...>;

}  // namespace

int main(int argc, char** argv) {
    using namespace tovex;
    std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    Invocation invocation = parseCommandLine(args);
    try {
        return std::visit(
            Overloaded{
                [&](BuildRequest& request) {
                    request.toolDirectory = ownExecutablePath(argc > 0 ? argv[0] : nullptr).parent_path();
                    return runBuild(request, std::cout, std::cerr);
                },
                [](const InspectRequest& request) { return runInspect(request, std::cout, std::cerr); },
                [](const NewRequest& request) { return runNew(request.name, std::cout, std::cerr); },
                [](const ShowHelp&) {
                    std::cout << usageText();
                    return static_cast<int>(kExitSuccess);
                },
                [](const ShowVersion&) {
                    std::cout << "tovex " TOVEX_VERSION "\n";
                    return static_cast<int>(kExitSuccess);
                },
                [](const UsageError& error) {
                    std::cerr << "tovex: error: " << error.message << '\n';
                    return static_cast<int>(kExitUsage);
                },
            },
            invocation);
    } catch (const std::exception& e) {
        // Out of memory and the like: still a message rather than an abort.
        std::cerr << "tovex: error: " << e.what() << '\n';
        return kExitBadInput;
    }
}
