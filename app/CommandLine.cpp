#include "app/CommandLine.h"

CommandLine CommandLine::parse(const QStringList &arguments)
{
    CommandLine line;
    for (int i = 1; i < arguments.size(); ++i) {
        const QString &a = arguments[i];
        if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            line.kind = Kind::Help;
            return line;
        }
        if (a == QLatin1String("--version") || a == QLatin1String("-v")) {
            line.kind = Kind::Version;
            return line;
        }
        if (a == QLatin1String("--start-queue")) {
            line.startQueue = true;
        } else if (a == QLatin1String("--screenshot") && i + 1 < arguments.size()) {
            line.screenshot = arguments[++i];
        } else if (a.startsWith(QLatin1Char('-'))) {
            line.kind = Kind::Wrong;
            line.error = QStringLiteral("unknown option %1").arg(a);
        } else if (line.url.isEmpty()) {
            line.url = a;
        } else {
            line.kind = Kind::Wrong;
            line.error = QStringLiteral("more than one address: %1").arg(a);
        }
    }
    return line;
}

QString CommandLine::version()
{
    return QStringLiteral(PROJECT_VERSION);
}

QString CommandLine::helpText(const QString &version)
{
    return QStringLiteral(
        "Usage: vrex [--start-queue] [ADDRESS]\n"
        "Vrex Explorer %1, a desktop FTP client that shows FTP sites like local folders.\n"
        "\n"
        "ADDRESS opens a site at a folder, or a file's folder with the file selected:\n"
        "  ftp://[user[:password]@]host[:port]/path\n"
        "  ftps://... the same, encrypted (TLS is required)\n"
        "  sftp://... an SFTP site (SSH), port 22 unless the address names one\n"
        "A site of the site book with the same host, port and login opens; otherwise\n"
        "a site that is not saved until you choose \"Save to Site Book...\".\n"
        "If Vrex Explorer already runs, the address goes to its window.\n"
        "\n"
        "  --start-queue  start the saved queue at once, as Start Queue does\n"
        "  -h, --help     print this help and exit\n"
        "  -v, --version  print the version and exit\n")
        .arg(version);
}

QString CommandLine::versionText(const QString &version)
{
    return QStringLiteral("Vrex Explorer %1\n").arg(version);
}
