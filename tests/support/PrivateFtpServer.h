#pragma once

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// A pyftpdlib server of one test's own, on a free loopback port, for tests
// that stop the server or change its files under the program. Same logins
// and starting files as the shared fixture.
class PrivateFtpServer {
public:
    PrivateFtpServer();
    ~PrivateFtpServer();

    // False when the server did not come up: a test fails then with
    // "server did not start", never goes on against port 0.
    bool start();
    void stop();
    // From the next start: no MLST or MLSD, only LIST (links show as links).
    void setListOnly(bool listOnly);
    void setCommandLog(bool on); // from the next start: every command is written down
    // From the next start: file data goes out at no more than this many
    // bytes a second (0: as fast as it can), and what was sent is counted.
    void setDataRate(qint64 bytesPerSecond);
    // The file data bytes the server sent since it started (with a data rate).
    qint64 sentBytes() const;
    // From the next start: at most this many sessions logged in per user at
    // once (a further PASS gets a 530 naming the limit); 0: no limit.
    void setLoginsPerUser(int logins);
    // From the next start: at most this many connections from one address
    // (a further one is greeted with 421); 0: no limit.
    void setConnectionsPerAddress(int connections);
    // From the next start: each data connection moves at most this many
    // bytes a second; 0: as fast as it can.
    void setThrottle(int bytesPerSecond);
    // How many sessions of `user` ("-": never logged in) have ended so far.
    int endedSessions(const QString &user) const;
    // The commands ("VERB local-path") received since the last call.
    QStringList takeCommands();
    bool isRunning() const { return running; }

    int port() const { return serverPort; }
    QString host() const { return QStringLiteral("127.0.0.1:%1").arg(serverPort); }
    QString anonRoot() const { return dir.path() + QStringLiteral("/anon"); }
    QString userRoot() const { return dir.path() + QStringLiteral("/user"); }
    // What the server logged so far (one line per command it completed).
    QString log() const;

private:
    bool runFixture(const QString &verb);
    void setNumber(const QString &name, int value);

    QTemporaryDir dir;
    int serverPort = 0;
    bool running = false;
};
