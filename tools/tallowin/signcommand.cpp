#include "tools/tallowin/signcommand.hpp"

#include "tools/peres/peimage.hpp"

#include <fstream>
#include <iterator>
#include <system_error>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <cerrno>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;
#endif

namespace tallowin {

namespace fs = std::filesystem;

namespace {

// A path as one word of the platform's shell.  POSIX: single quotes, an
// embedded one written as '\''.  Windows: double quotes, which no path
// holds.
std::string ShellQuoted(const fs::path& path) {
#ifdef _WIN32
    std::string quoted(1, '"');
    quoted += path.string();
    quoted += '"';
#else
    std::string quoted(1, '\'');
    for (const char c : path.string()) {
        if (c == '\'') quoted += "'\\''";
        else quoted += c;
    }
    quoted += '\'';
#endif
    return quoted;
}

// The command's output, at most this much of its end, goes into a failure's message.
constexpr std::size_t kShownOutput = 4000;

std::string ReadOutput(const fs::path& scratch) {
    std::ifstream in(scratch, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (text.size() > kShownOutput) text = "..." + text.substr(text.size() - kShownOutput);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    return text;
}

// Runs `line` as the platform's shell runs a command line it is given --
// nothing is put around it, so every character of it (a "#", brackets, a
// trailing "&") means what it means to that shell -- with its output and
// errors in `scratch` and no input.  Its exit status; -1 when it cannot be
// started.
int RunShell(const std::string& line, const fs::path& scratch) {
#ifdef _WIN32
    // "cmd /s /c" drops the first and the last quote and runs the rest as
    // it stands.
    char system[MAX_PATH] = {};
    const UINT length = ::GetSystemDirectoryA(system, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return -1;
    const std::string processor = std::string(system) + "\\cmd.exe";
    std::string commandline = "\"" + processor + "\" /d /s /c \"" + line + "\"";
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE output = ::CreateFileA(scratch.string().c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
    HANDLE input = ::CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0, nullptr);
    int code = -1;
    if (output != INVALID_HANDLE_VALUE && input != INVALID_HANDLE_VALUE) {
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = input;
        startup.hStdOutput = output;
        startup.hStdError = output;
        PROCESS_INFORMATION process{};
        if (::CreateProcessA(processor.c_str(), commandline.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                             &startup, &process)) {
            ::WaitForSingleObject(process.hProcess, INFINITE);
            DWORD exitcode = 0;
            if (::GetExitCodeProcess(process.hProcess, &exitcode)) code = static_cast<int>(exitcode);
            ::CloseHandle(process.hThread);
            ::CloseHandle(process.hProcess);
        }
    }
    if (output != INVALID_HANDLE_VALUE) ::CloseHandle(output);
    if (input != INVALID_HANDLE_VALUE) ::CloseHandle(input);
    return code;
#else
    posix_spawn_file_actions_t actions;
    if (posix_spawn_file_actions_init(&actions) != 0) return -1;
    const std::string output = scratch.string();
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    std::string shell = "sh", option = "-c", text = line;
    char* argv[] = {shell.data(), option.data(), text.data(), nullptr};
    pid_t child = 0;
    const int spawned = posix_spawn(&child, "/bin/sh", &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return -1;
    int status = 0;
    while (waitpid(child, &status, 0) == -1)
        if (errno != EINTR) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
#endif
}

}  // namespace

std::string ElidedCommand(const std::string& command) {
    std::size_t begin = command.find_first_not_of(" \t");
    if (begin == std::string::npos) return "";
    std::size_t end;
    if (command[begin] == '"' || command[begin] == '\'') {
        end = command.find(command[begin], begin + 1);
        end = end == std::string::npos ? command.size() : end + 1;
    } else {
        end = command.find_first_of(" \t", begin);
        if (end == std::string::npos) end = command.size();
    }
    std::string elided = command.substr(begin, end - begin);
    if (command.find_first_not_of(" \t", end) != std::string::npos) elided += " ...";
    return elided;
}

std::string SignCommandFor(const std::string& command, const fs::path& file) {
    const std::string placeholder = kSignFilePlaceholder;
    const std::string quoted = ShellQuoted(file);
    std::string result;
    std::size_t from = 0;
    for (std::size_t at; (at = command.find(placeholder, from)) != std::string::npos; from = at + placeholder.size())
        result += command.substr(from, at - from) + quoted;
    return result + command.substr(from);
}

bool RunSignCommand(const std::string& command, const fs::path& file, const fs::path& scratch, std::string& error) {
    const std::string shown = "the signing command \"" + ElidedCommand(command) + "\"";
    const int code = RunShell(SignCommandFor(command, file), scratch);
    const std::string output = ReadOutput(scratch);
    std::error_code ec;
    fs::remove(scratch, ec);
    if (code != 0) {
        error = shown + " failed on " + file.string() + " (exit status " + std::to_string(code) + ")";
        if (!output.empty()) error += ":\n" + output;
        return false;
    }
    std::ifstream in(file, std::ios::binary);
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    peres::PeImage image;
    std::string problem;
    if (!in.good() && !in.eof()) problem = "cannot be read";
    if (problem.empty() && !peres::ParsePe(std::move(bytes), image, problem)) problem = "is no PE program: " + problem;
    // A command that did nothing would ship an unsigned program unnoticed.
    if (problem.empty() && image.Directory(peres::kSecurityDirectory).size == 0) problem = "carries no signature";
    if (!problem.empty()) {
        error = shown + " left " + file.string() + " behind unsigned or broken: it " + problem;
        if (!output.empty()) error += "\n" + output;
        return false;
    }
    return true;
}

}  // namespace tallowin
