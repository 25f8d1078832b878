// unix_start.exe COMMAND-LINE: starts a program of this machine (a Unix one,
// such as /usr/bin/python3) and ends at once, with 0 once it started and the
// system's error code otherwise.
//
// Wine hands back no thread handle for a Unix program: the value in its place
// is whatever the stack held, and Wine itself resumes it, and a caller that
// closes it closes one of its own handles by chance. Here that happens in a
// process that holds nothing worth keeping and ends right after.
#include <windows.h>

namespace {

// The command line after our own program's name.
wchar_t* ArgumentsOf(wchar_t* line) {
    if (*line == L'"') {
        ++line;
        while (*line && *line != L'"') ++line;
        if (*line) ++line;
    } else {
        while (*line && *line != L' ' && *line != L'\t') ++line;
    }
    while (*line == L' ' || *line == L'\t') ++line;
    return line;
}

}  // namespace

int wmain() {
    wchar_t* command = ArgumentsOf(GetCommandLineW());
    if (!*command) ExitProcess(ERROR_BAD_ARGUMENTS);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    // The handles in pi are not to be trusted: none is used or closed.
    if (!CreateProcessW(nullptr, command, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        ExitProcess(GetLastError() ? GetLastError() : ERROR_GEN_FAILURE);
    ExitProcess(0);
}
