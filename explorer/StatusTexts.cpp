#include "explorer/StatusTexts.h"

#include "widgets/StatusPanels.h"

QString StatusTexts::text(int code)
{
    switch (code) {
    case 0:
        return QStringLiteral("Looking for FTP site...");
    case 1:
        return QStringLiteral("Logging in...");
    case 2:
        return QStringLiteral("Connected");
    case 3:
        return QStringLiteral("Receiving data...");
    case 4:
        return QStringLiteral("Sending data...");
    case 30:
        return QStringLiteral("Sending request...");
    case 31:
        return QStringLiteral("Request sent");
    case 40:
        return QStringLiteral("Receiving response...");
    case 41:
        return QStringLiteral("Data Received");
    case 51:
        return QStringLiteral("Connection closed");
    case 60:
        return QStringLiteral("FTP site found...");
    case 70:
    case 99:
        return QStringLiteral("Ready");
    case 100:
        return QStringLiteral("Request complete");
    default:
        return QString::number(code);
    }
}

void StatusTexts::show(StatusPanels *bar, int code)
{
    bar->setPanelText(0, QStringLiteral("Status: ") + text(code));
}

void StatusTexts::showEncryption(
    StatusPanels *bar, int panel, bool connected, const QString &protocol)
{
    const bool encrypted = connected && !protocol.isEmpty();
    QString text;
    if (connected)
        text = !encrypted                               ? QStringLiteral("Not encrypted")
            : protocol.startsWith(QLatin1String("SSH")) ? QStringLiteral("Encrypted (SSH)")
                                                        : QStringLiteral("Encrypted");
    bar->setPanelText(panel, text);
    bar->setPanelToolTip(
        panel, encrypted ? QStringLiteral("Encrypted with %1").arg(protocol) : text);
}
