// Helpers shared by the test programs: scratch folders, small files, and running peer tools.
#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

namespace testing_support {

// A fresh folder under the system's temporary folder, removed with everything in it at destruction.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const std::string& Path() const { return path_; }
    std::u16string Path16() const;
    // Path of a name inside the folder (UTF-8 and UTF-16 forms).
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }
    std::u16string P16(const std::string& name) const;

private:
    std::string path_;
};

void WriteBytes(const std::string& path, const std::string& bytes);
std::string ReadBytes(const std::string& path);
bool PathExists(const std::string& path);

// Runs a shell command; returns its exit status, with standard output and error in `output`.
int Run(const std::string& command, std::string* output = nullptr);
// Runs a Python 3 script with the given arguments, as Run does a command.
int RunPython(const std::string& script, const std::vector<std::string>& args = {}, std::string* output = nullptr);
// Single-quotes a value for the shell.
std::string Quote(const std::string& value);

// Runs `body` in a child process where permission bits bind: when the tests run as root, the child
// drops to user and group 65534 after `owned` (paths, with everything below them) was given to that
// user. Gives what the body returned (empty for success by convention), or a note when the child did
// not end normally. Only the child's return value crosses back: use no EXPECT inside the body.
std::string RunUnprivileged(const std::vector<std::string>& owned, const std::function<std::string()>& body);

// A calendar time in the local zone (month 1 to 12), daylight saving decided by the date.
std::time_t LocalTime(int year, int month, int day, int hour, int minute, int second);

// The UTF-16 text of the engine and the platform as UTF-8, and back.
std::string U8(const std::u16string& text);
std::u16string U16(const std::string& text);

}  // namespace testing_support
