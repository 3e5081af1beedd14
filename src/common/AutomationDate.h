#pragma once

namespace didev {

// A local date and time as an automation date: days since 1899-12-30, the fraction being
// the time of day. Before that day the whole days count down and the time of day still
// adds to the distance from it (-1.25 is 1899-12-29 06:00).
double automationDate(int year, int month, int day, int hour, int minute, int second, int millisecond = 0);

// The current local date and time as an automation date.
double automationDateNow();

} // namespace didev
