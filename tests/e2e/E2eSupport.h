// Helpers of the end-to-end tests: the built programs, a folder tree that holds what users keep in
// folders, and snapshots of trees to compare what was packed with what came out.
#pragma once

#include <cstdint>
#include <ctime>
#include <map>
#include <string>

namespace e2e {

const std::string& MakerPath();   // the maker program
const std::string& StubPath();    // the stub program, as built
std::string StubBytes();

// A folder tree below `root`: text, bytes that do not compress, an empty file, an empty folder,
// nested folders, Korean and accented names, an executable script and a file of a few MiB. Every
// file gets a fixed modification time (an even second, as ZIP stores them).
void WriteSampleTree(const std::string& root);

struct Node {
    bool Folder = false;
    std::string Bytes;          // files only
    unsigned Mode = 0;          // permission bits, files only
    std::time_t Time = 0;       // modification time, files only
};
// Everything below root by relative path ("a/b.txt"; folders without a trailing "/").
std::map<std::string, Node> Snapshot(const std::string& root);

// Whether `actual` holds the same tree as `expected`: the same names, the same bytes and permission
// bits, modification times within two seconds. Describes the first difference in `why`.
bool SameTree(const std::map<std::string, Node>& expected, const std::map<std::string, Node>& actual,
              std::string& why);

// Runs a shell command in `dir` with standard output and error kept apart; returns the exit status.
int RunIn(const std::string& dir, const std::string& command, std::string* out = nullptr, std::string* err = nullptr);

}  // namespace e2e
