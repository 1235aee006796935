#pragma once
#include <QDateTime>
#include <functional>

namespace platform {

// The local date and time.
QDateTime Now();
// Replaces the source of Now(); an empty function restores the real clock.
void SetNowSource(std::function<QDateTime()> source);

}  // namespace platform
