#pragma once

#include <QString>

namespace AppInfo {
inline const QString kTitle = QStringLiteral("Vrex Explorer");
}
