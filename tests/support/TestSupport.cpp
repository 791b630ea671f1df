#include "support/TestSupport.h"

#include "platform/Platform.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

namespace testing_support {

ScratchDir::ScratchDir() {
    std::string base = std::filesystem::temp_directory_path().string() + "/selfpack-test-XXXXXX";
    std::vector<char> buffer(base.begin(), base.end());
    buffer.push_back('\0');
    if (!mkdtemp(buffer.data())) throw std::runtime_error("mkdtemp failed");
    path_ = buffer.data();
}

ScratchDir::~ScratchDir() {
    // Make everything writable again first, so read-only test files and folders go too.
    std::error_code ec;
    Run("chmod -R u+rwx " + Quote(path_) + " 2>/dev/null");
    std::filesystem::remove_all(path_, ec);
}

std::string RunUnprivileged(const std::vector<std::string>& owned, const std::function<std::string()>& body) {
    constexpr uid_t nobody = 65534;
    const bool root = geteuid() == 0;
    if (root)
        for (const std::string& path : owned)
            if (Run("chown -R " + std::to_string(nobody) + ":" + std::to_string(nobody) + " " + Quote(path)) != 0)
                return "cannot give " + path + " to the unprivileged user";
    int fds[2];
    if (pipe(fds) != 0) return "pipe failed";
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child < 0) return "fork failed";
    if (child == 0) {
        close(fds[0]);
        std::string result;
        if (root && (setgroups(0, nullptr) != 0 || setgid(nobody) != 0 || setuid(nobody) != 0))
            result = "cannot drop privileges";
        else
            result = body();
        size_t done = 0;
        while (done < result.size()) {
            const ssize_t n = write(fds[1], result.data() + done, result.size() - done);
            if (n <= 0) break;
            done += static_cast<size_t>(n);
        }
        _exit(0);
    }
    close(fds[1]);
    std::string result;
    char buffer[4096];
    ssize_t n;
    while ((n = read(fds[0], buffer, sizeof buffer)) > 0) result.append(buffer, static_cast<size_t>(n));
    close(fds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return "the unprivileged child ended abnormally: " + result;
    return result;
}

std::u16string ScratchDir::Path16() const { return platform::Utf8ToUtf16(path_); }
std::u16string ScratchDir::P16(const std::string& name) const { return platform::Utf8ToUtf16(*this / name); }

void WriteBytes(const std::string& path, const std::string& bytes) {
    std::filesystem::path p(path);
    if (p.has_parent_path()) std::filesystem::create_directories(p.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path);
}

std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

bool PathExists(const std::string& path) {
    std::error_code ec;
    return std::filesystem::symlink_status(path, ec).type() != std::filesystem::file_type::not_found;
}

int Run(const std::string& command, std::string* output) {
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (!pipe) return -1;
    std::string text;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) text.append(buffer, n);
    int status = pclose(pipe);
    if (output) *output = text;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int RunPython(const std::string& script, const std::vector<std::string>& args, std::string* output) {
    std::string command = "python3 -c " + Quote(script);
    for (const std::string& arg : args) command += " " + Quote(arg);
    return Run(command, output);
}

std::string Quote(const std::string& value) {
    std::string quoted = "'";
    for (char c : value) {
        if (c == '\'') quoted += "'\\''";
        else quoted += c;
    }
    return quoted + "'";
}

std::time_t LocalTime(int year, int month, int day, int hour, int minute, int second) {
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    t.tm_isdst = -1;
    return std::mktime(&t);
}

std::string U8(const std::u16string& text) { return platform::Utf16ToUtf8(text); }
std::u16string U16(const std::string& text) { return platform::Utf8ToUtf16(text); }

}  // namespace testing_support
