#pragma once
#include <QString>

namespace platform {

// The executable's file name without folder and extension, unless a test has set it.
QString ApplicationTitle();
void SetApplicationTitle(const QString& title);

}  // namespace platform
