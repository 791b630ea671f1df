#include "E2eSupport.h"

#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

#include "support/TestSupport.h"

namespace fs = std::filesystem;

namespace e2e {

const std::string& MakerPath() {
    static const std::string path = SELFPACK_MAKER_PATH;
    return path;
}

const std::string& StubPath() {
    static const std::string path = SELFPACK_STUB_PATH;
    return path;
}

std::string StubBytes() { return testing_support::ReadBytes(StubPath()); }

namespace {

// Bytes that deflate cannot shrink, the same on every run.
std::string NoiseBytes(size_t size, uint32_t seed) {
    std::string bytes(size, '\0');
    uint32_t x = seed;
    for (char& c : bytes) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        c = static_cast<char>(x >> 24);
    }
    return bytes;
}

void SetTime(const std::string& path, std::time_t t) {
    struct utimbuf times {t, t};
    utime(path.c_str(), &times);
}

}  // namespace

void WriteSampleTree(const std::string& root) {
    using testing_support::WriteBytes;
    std::string text;
    for (int i = 0; i < 200; ++i) text += "line " + std::to_string(i) + " of a text that compresses well\n";
    WriteBytes(root + "/readme.txt", text);
    WriteBytes(root + "/data/noise.bin", NoiseBytes(70000, 7));
    WriteBytes(root + "/data/empty.dat", "");
    WriteBytes(root + "/data/deep/er/still.txt", "nested three levels down\n");
    WriteBytes(root + "/한글 폴더/한글 파일.txt", "Korean name\n");
    WriteBytes(root + "/café/naïve résumé.txt", "accented names\n");
    WriteBytes(root + "/bin/run.sh", "#!/bin/sh\necho ran\n");
    chmod((root + "/bin/run.sh").c_str(), 0755);
    WriteBytes(root + "/data/big.bin", NoiseBytes(3 * 1024 * 1024 + 12345, 11));
    fs::create_directories(root + "/empty folder");
    // 2020-05-17 10:20:30 local time, and a second file a year earlier.
    const std::time_t t = testing_support::LocalTime(2020, 5, 17, 10, 20, 30);
    for (const auto& entry : fs::recursive_directory_iterator(root))
        if (entry.is_regular_file()) SetTime(entry.path().string(), t);
    SetTime(root + "/readme.txt", t - 365 * 24 * 3600);
}

std::map<std::string, Node> Snapshot(const std::string& root) {
    std::map<std::string, Node> nodes;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        Node node;
        const std::string path = entry.path().string();
        struct stat st {};
        stat(path.c_str(), &st);
        node.Folder = S_ISDIR(st.st_mode);
        if (!node.Folder) {
            node.Bytes = testing_support::ReadBytes(path);
            node.Mode = st.st_mode & 0777;
            node.Time = st.st_mtime;
        }
        nodes[fs::relative(entry.path(), root).string()] = node;
    }
    return nodes;
}

bool SameTree(const std::map<std::string, Node>& expected, const std::map<std::string, Node>& actual,
              std::string& why) {
    for (const auto& [name, want] : expected) {
        const auto found = actual.find(name);
        if (found == actual.end()) {
            why = name + " is missing";
            return false;
        }
        const Node& got = found->second;
        if (got.Folder != want.Folder) why = name + ": file and folder mixed up";
        else if (got.Bytes != want.Bytes) why = name + ": other bytes";
        else if (got.Mode != want.Mode) why = name + ": mode " + std::to_string(got.Mode) + " for " + std::to_string(want.Mode);
        else if (got.Time > want.Time + 2 || got.Time < want.Time - 2)
            why = name + ": time off by " + std::to_string(got.Time - want.Time) + " s";
        if (!why.empty()) return false;
    }
    for (const auto& [name, node] : actual)
        if (!expected.count(name)) {
            why = name + " was not packed";
            return false;
        }
    return true;
}

int RunIn(const std::string& dir, const std::string& command, std::string* out, std::string* err) {
    using testing_support::Quote;
    static int calls = 0;
    const std::string errFile = fs::temp_directory_path().string() + "/selfpack-e2e-err-" + std::to_string(getpid()) +
                                "-" + std::to_string(++calls);
    std::string stdoutText;
    const int status =
        testing_support::Run("(cd " + Quote(dir) + " && { " + command + "; } 2>" + Quote(errFile) + ")", &stdoutText);
    if (out) *out = stdoutText;
    std::error_code ec;
    if (err) *err = fs::exists(errFile, ec) ? testing_support::ReadBytes(errFile) : std::string();
    fs::remove(errFile, ec);
    return status;
}

}  // namespace e2e
