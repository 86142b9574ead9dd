// Test helper, a Windows program: starts another Windows program the way a
// Windows GUI starts an engine, with a pipe made here (CreatePipe) as its
// standard input, and forwards this program's own standard input into that
// pipe. Standard output and standard error are handed down as they are.
//
//   corvix-relay.exe PROGRAM [ARGUMENTS...]
//
// Under Wine a Linux pipe cannot be looked into with PeekNamedPipe, a pipe
// made by a Windows parent can: the tests run the engine through this relay
// to see what a Windows GUI sees. When the relay's input ends, the pipe is
// closed; the relay ends with the program's exit status as soon as the
// program ends, and a job object ends the program when the relay goes away.
#include <windows.h>

#include <cstdio>

namespace {

HANDLE pipe_write = nullptr;

DWORD WINAPI forwardInput(void *) {
    HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    static char buffer[65536];
    for (;;) {
        DWORD n = 0;
        if (in == nullptr || in == INVALID_HANDLE_VALUE || !ReadFile(in, buffer, sizeof buffer, &n, nullptr) || n == 0)
            break;
        for (DWORD done = 0; done < n;) {
            DWORD written = 0;
            if (!WriteFile(pipe_write, buffer + done, n - done, &written, nullptr)) {
                CloseHandle(pipe_write);
                return 0;
            }
            done += written;
        }
    }
    CloseHandle(pipe_write);
    return 0;
}

// The command line without its first argument (the relay itself).
const char *childCommandLine() {
    const char *p = GetCommandLineA();
    if (*p == '"') {
        p++;
        while (*p && *p != '"') p++;
        if (*p) p++;
    } else {
        while (*p && *p != ' ' && *p != '\t') p++;
    }
    while (*p == ' ' || *p == '\t') p++;
    return p;
}

// An inheritable copy of a standard handle (none when there is none).
HANDLE inheritable(DWORD which) {
    HANDLE h = GetStdHandle(which), copy = nullptr;
    if (h == nullptr || h == INVALID_HANDLE_VALUE) return nullptr;
    if (!DuplicateHandle(GetCurrentProcess(), h, GetCurrentProcess(), &copy, 0, TRUE, DUPLICATE_SAME_ACCESS))
        return nullptr;
    return copy;
}

int fail(const char *what) {
    std::fprintf(stderr, "corvix-relay: %s failed, error %lu\n", what, GetLastError());
    return 125;
}

}  // namespace

int main() {
    static char command[32768];
    std::snprintf(command, sizeof command, "%s", childCommandLine());
    if (!command[0]) {
        std::fprintf(stderr, "usage: corvix-relay.exe PROGRAM [ARGUMENTS...]\n");
        return 125;
    }

    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE pipe_read = nullptr;
    if (!CreatePipe(&pipe_read, &pipe_write, &inherit, 0)) return fail("CreatePipe");
    // Only the child's end is inherited, so that it sees the end of input
    // when the relay closes its end.
    SetHandleInformation(pipe_write, HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = pipe_read;
    startup.hStdOutput = inheritable(STD_OUTPUT_HANDLE);
    startup.hStdError = inheritable(STD_ERROR_HANDLE);

    HANDLE job = CreateJobObjectA(nullptr, nullptr);
    if (job) {
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits);
    }

    PROCESS_INFORMATION child = {};
    if (!CreateProcessA(nullptr, command, nullptr, nullptr, TRUE, CREATE_SUSPENDED, nullptr, nullptr, &startup,
                        &child))
        return fail("CreateProcess");
    if (job) AssignProcessToJobObject(job, child.hProcess);
    ResumeThread(child.hThread);
    CloseHandle(child.hThread);
    CloseHandle(pipe_read);

    HANDLE forwarder = CreateThread(nullptr, 0, forwardInput, nullptr, 0, nullptr);
    if (!forwarder) return fail("CreateThread");

    WaitForSingleObject(child.hProcess, INFINITE);
    DWORD status = 125;
    GetExitCodeProcess(child.hProcess, &status);
    // The forwarder may still wait for input: ending the process ends it.
    ExitProcess(status);
}
