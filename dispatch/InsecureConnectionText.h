#pragma once

#include <QString>

// What the user is told when a connection to `host` could not be made
// secure, by the session's error code.
namespace InsecureConnectionText {

QString message(const QString &host, int code);

} // namespace InsecureConnectionText
