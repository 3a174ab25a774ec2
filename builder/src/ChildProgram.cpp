#include "ChildProgram.h"

#include <cerrno>
#include <cstdio>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace tovex {

bool isExecutable(const std::filesystem::path& program) {
#ifndef _WIN32
    return access(program.c_str(), X_OK) == 0;
#else
    (void)program;
    return true;
#endif
}

long long processId() {
#ifndef _WIN32
    return static_cast<long long>(getpid());
#else
    return 0;
#endif
}

ProgramResult runProgram(const std::vector<std::string>& arguments) {
    ProgramResult result;
#ifndef _WIN32
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) return result;
    pid_t child = fork();
    if (child < 0) {
        close(pipeEnds[0]);
        close(pipeEnds[1]);
        return result;
    }
    if (child == 0) {
        dup2(pipeEnds[1], 1);
        dup2(pipeEnds[1], 2);
        close(pipeEnds[0]);
        close(pipeEnds[1]);
        int input = open("/dev/null", O_RDONLY);
        if (input >= 0) dup2(input, 0);
        std::vector<char*> argv;
        for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        std::fprintf(stderr, "cannot run %s\n", argv[0]);
        _exit(127);
    }
    close(pipeEnds[1]);
    char buffer[4096];
    for (ssize_t got; (got = read(pipeEnds[0], buffer, sizeof buffer)) != 0;) {
        if (got > 0)
            result.output.append(buffer, static_cast<std::size_t>(got));
        else if (errno != EINTR)
            break;
    }
    close(pipeEnds[0]);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status)) result.status = WEXITSTATUS(status);
#else
    (void)arguments;
    result.output = "running programs is not supported on this system";
#endif
    return result;
}

}  // namespace tovex
