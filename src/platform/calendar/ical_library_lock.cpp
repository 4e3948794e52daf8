#include "platform/calendar/ical_library_lock.hpp"

#include <libical/ical.h>

namespace lumenary::platform {

namespace {

std::mutex& libraryMutex() {
    static std::mutex mutex;
    return mutex;
}

void setUpLibrary() {
    // A malformed item must come back as an error value to skip, never
    // abort the program.
    icalerror_set_errors_are_fatal(0);
}

}  // namespace

ICalLibraryLock::ICalLibraryLock() : lock_(libraryMutex()) {
    static const bool setUp = (setUpLibrary(), true);
    (void)setUp;
}

}  // namespace lumenary::platform
