#pragma once

#include <QString>

class StatusPanels;

// Words for the progress codes of the FTP session and the window's own codes.
namespace StatusTexts {

QString text(int code);
// Sets status panel 0 to "Status: " and the code's text, painted at once.
void show(StatusPanels *bar, int code);

// The connection's protection at a glance: "Encrypted", "Not encrypted",
// or nothing while no site is connected. The protocol goes to the panel's
// tool tip ("Encrypted with TLS 1.3"): at the window's first size the last
// panel has no room for it.
void showEncryption(StatusPanels *bar, int panel, bool connected, const QString &protocol);

} // namespace StatusTexts
