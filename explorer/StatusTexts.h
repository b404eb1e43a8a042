#pragma once

#include <QString>

class StatusPanels;

// Words for the progress codes of the FTP session and the window's own codes.
namespace StatusTexts {

QString text(int code);
// Sets status panel 0 to "Status: " and the code's text, painted at once.
void show(StatusPanels *bar, int code);

} // namespace StatusTexts
