#include "stub/FileBaseName.h"

namespace stub {

std::u16string FileBaseName(const std::u16string& Path, TCVPathStyle Style) {
    // Only a dot behind the last separator starts an extension: "/a.b/c" has none.
    const std::u16string ends = Style == psWindows ? u".\\:" : u"./";
    const size_t i = Path.find_last_of(ends);
    std::u16string kept = Path;
    if (i != std::u16string::npos && Path[i] == u'.') kept = Path.substr(0, i);
    return FileNamePart(kept, Style);
}

}  // namespace stub
