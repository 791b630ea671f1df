// Helpers shared by the POSIX implementation of the layer; not part of the layer's interface.
#pragma once

#include "platform/Platform.h"

#include <string>
#include <string_view>
#include <sys/stat.h>

namespace platform::posix {

// The bytes of a name as the file system takes them. False for a name holding U+0000: the system
// would cut the name there and act on another file.
bool NativePath(const std::u16string& path, std::string& native);

// A FileError whose message is the action, the name in double quotes, and the system's reason:
// Cannot open file "/x/y". No such file or directory
FileError MakeFileError(const char16_t* action, const std::u16string& name, int error);

// Attributes as ReadAttributes gives them, from a stat result and the path's last component.
int32_t AttributesOf(const struct stat& st, std::string_view name);

// The name mask rules of the listing: "*" any run (".", separators included), "?" exactly one
// character, ASCII letters compared without case; a remaining mask of exactly "*.*" matches anything.
bool MatchesMask(std::u16string_view text, std::u16string_view mask);

// Terminal dialogs reading answers from `input` and writing prompts to `output` (file descriptors).
std::unique_ptr<Dialogs> MakeTerminalDialogsOn(int input, int output);

}  // namespace platform::posix
