// The clock the run log, run folders and identifiers are stamped with.
#pragma once

#include "common/TimeTextU.h"

namespace sf {

// The local date and time now.
TLocalTime LocalTimeNow();

}  // namespace sf
