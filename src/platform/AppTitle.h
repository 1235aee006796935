#pragma once
#include <QString>

namespace platform {

// The executable's file name without folder and extension, unless a test has set it; also
// before the application object exists.
QString ApplicationTitle();
void SetApplicationTitle(const QString& title);

}  // namespace platform
