// The sink that testing an entry reads into: every byte written is accepted and dropped.
#pragma once

#include "platform/Platform.h"

using TNullStream = platform::NullStream;
