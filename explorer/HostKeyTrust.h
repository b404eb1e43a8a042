#pragma once

#include "ftp/RemoteProtocol.h"
#include "storage/TrustedHostKeys.h"

#include <QSet>
#include <QString>
#include <QStringList>

// Asks the user about an SFTP server's host key that neither the user's
// known_hosts nor our trusted keys vouch for, and keeps a key trusted always.
// A changed key comes with a warning, since it may be an attack.
class HostKeyTrust {
public:
    static const QStringList kButtons; // "Trust always", "Trust once", "Cancel"

    explicit HostKeyTrust(const QString &dataFolder = TrustedHostKeys::defaultFolder());

    QString trustedKeysFile() const { return file.filePath(); }
    ServerKeyAnswer decide(const ServerKeyFacts &key);
    // For a connection the program adds (the queue's own): a key trusted
    // once this run goes on without a second question.
    ServerKeyAnswer decideForAnotherConnection(const ServerKeyFacts &key);

    // The passphrase of one of the user's key files; false: cancelled.
    static bool askPassphrase(const std::string &keyFile, std::string &passphrase);

    static QString questionText(const ServerKeyFacts &key);
    static QString warningText(const ServerKeyFacts &key);

private:
    TrustedHostKeys file;
    bool damageReported = false;
    QSet<QString> trustedOnce; // host, port and fingerprint
};
