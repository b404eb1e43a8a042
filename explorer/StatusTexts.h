#pragma once

#include <QString>

class StatusPanels;

// Words for the progress codes of the FTP session and the window's own codes.
namespace StatusTexts {

QString text(int code);
// Sets status panel 0 to "Status: " and the code's text, painted at once.
void show(StatusPanels *bar, int code);

// The connection's protection at a glance: "Encrypted", "Partly encrypted"
// (only the login and commands: the server refused PROT P), "Not encrypted",
// or nothing while no site is connected. The protocol and the reason go to the
// panel's tool tip ("Encrypted with TLS 1.3"): at the window's first size the
// last panel has no room for them.
void showEncryption(StatusPanels *bar, int panel, bool connected, const QString &protocol,
    bool dataEncrypted = true);

} // namespace StatusTexts
