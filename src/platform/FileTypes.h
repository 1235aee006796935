#pragma once
#include <QString>

namespace platform {

// The German description of a registered file type ("htmlfile", "txtfile", "Excel.CSV"),
// taken from the MIME database; empty when it has none.
QString FileTypeDescription(const QString& progId);

}  // namespace platform
