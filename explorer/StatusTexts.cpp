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
    bar->setPanelToolTip(0, QString());
}

void StatusTexts::showEncryption(
    StatusPanels *bar, int panel, bool connected, const QString &protocol, bool dataEncrypted)
{
    QString text, tip;
    if (connected && protocol.isEmpty()) {
        text = tip = QStringLiteral("Not encrypted");
    } else if (connected && protocol.startsWith(QLatin1String("SSH"))) {
        text = QStringLiteral("Encrypted (SSH)");
        tip = QStringLiteral("Encrypted with %1").arg(protocol);
    } else if (connected && dataEncrypted) {
        text = QStringLiteral("Encrypted");
        tip = QStringLiteral("Encrypted with %1").arg(protocol);
    } else if (connected) {
        text = QStringLiteral("Partly encrypted");
        tip = QStringLiteral("Only the login and commands are encrypted with %1: the server "
                             "refused to protect data connections (PROT P), so listings and "
                             "file contents travel unencrypted.")
                  .arg(protocol);
    }
    bar->setPanelText(panel, text);
    bar->setPanelToolTip(panel, tip);
}
