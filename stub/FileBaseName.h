// The name a self-extracting executable gives its target folder.
#pragma once

#include <string>

#include "engine/Corvane.h"

namespace stub {

// The file name of Path without its extension: the text after the last separator (or, in the Windows
// style, ":"), with everything from its last "." on dropped. A name without a dot comes back whole; a
// name that is only an extension (".run") gives an empty text.
std::u16string FileBaseName(const std::u16string& Path, TCVPathStyle Style = NativePathStyle);

}  // namespace stub
