#include "engine/archiver/CVEngineLock.h"

std::recursive_mutex& EngineLock() {
    static std::recursive_mutex lock;
    return lock;
}
