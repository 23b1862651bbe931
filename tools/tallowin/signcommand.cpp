#include "tools/tallowin/signcommand.hpp"

#include "tools/peres/peimage.hpp"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <system_error>
#include <vector>

#ifndef _WIN32
#include <sys/wait.h>
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
    // Grouped, so that the redirection takes the output of every part of
    // a command such as "sign ... && mv ...".
#ifdef _WIN32
    // cmd /c drops the first and last quote of a line that starts with one.
    const std::string line = "\"(" + SignCommandFor(command, file) + ") > " + ShellQuoted(scratch) + " 2>&1\"";
#else
    const std::string line = "(" + SignCommandFor(command, file) + ") > " + ShellQuoted(scratch) + " 2>&1 </dev/null";
#endif
    const int status = std::system(line.c_str());
    const std::string output = ReadOutput(scratch);
    std::error_code ec;
    fs::remove(scratch, ec);
#ifdef _WIN32
    const int code = status;
#else
    const int code = status == -1 ? -1 : WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
#endif
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
