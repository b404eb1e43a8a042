#pragma once

#include "ftp/TlsCertificateFacts.h"
#include "storage/TrustedCertificates.h"

#include <QDateTime>
#include <QSet>
#include <QString>
#include <QStringList>

// Whether to go on with a server certificate the system's store does not
// vouch for. A certificate the user trusted always for this host and port
// goes on without a word; any other is put to the user, and one that replaces
// a trusted certificate comes with a warning, since it may be an attack.
// "Trust once" lets the one connection that asked go on.
class CertificateTrust {
public:
    enum Answer { TrustAlways, TrustOnce, Cancel };
    static const QStringList kButtons; // "Trust always", "Trust once", "Cancel"

    // `dataFolder` holds the file of trusted certificates.
    explicit CertificateTrust(const QString &dataFolder = TrustedCertificates::defaultFolder());

    // True lets the connection go on. Asks through the prompts.
    bool decide(const TlsCertificateFacts &certificate);
    // The same for a connection the program adds to one the user knows of
    // (a transfer connection of the queue): a certificate trusted once this
    // run goes on without a second question.
    bool decideForAnotherConnection(const TlsCertificateFacts &certificate);

    // The texts of the question, for a certificate never trusted for its
    // host, and for one that replaced the `trusted` fingerprints.
    static QString questionText(const TlsCertificateFacts &certificate, const QDateTime &now);
    static QString warningText(
        const TlsCertificateFacts &certificate, const QStringList &trusted, const QDateTime &now);

private:
    Answer ask(const TlsCertificateFacts &certificate, const QStringList &trusted);
    void trustAlways(const TlsCertificateFacts &certificate);
    static QString siteKey(const TlsCertificateFacts &certificate);
    static QString runKey(const TlsCertificateFacts &certificate);

    TrustedCertificates file;
    // Trusted always, for the run even when the file could not be saved.
    QSet<QString> trustedThisRun; // service and fingerprint
    QSet<QString> trustedOnce; // the same, of answers "Trust once"
};
