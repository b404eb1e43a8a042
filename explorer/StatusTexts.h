#pragma once

#include <QString>

class StatusPanels;

// Words for the progress codes of the FTP session and the window's own codes.
namespace StatusTexts {

QString text(int code);
// Sets status panel 0 to "Status: " and the code's text, painted at once.
void show(StatusPanels *bar, int code);

// The connection's protection at a glance: "Encrypted (TLS 1.3)", "Not
// encrypted", or nothing while no site is connected.
QString encryption(bool connected, const QString &protocol);

} // namespace StatusTexts
