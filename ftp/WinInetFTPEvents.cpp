#include "ftp/WinInetFTP.h"

#include "ftp/DownloadFile.h"
#include "ftp/FtpThread.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QMetaObject>
#include <QPointer>
#include <QThread>

#include <condition_variable>
#include <mutex>
#include <thread>
#include <utility>

// How the workers' events reach the user-interface thread.

namespace {

bool onUiThread()
{
    QCoreApplication *app = QCoreApplication::instance();
    return !app || QThread::currentThread() == app->thread();
}

} // namespace

// Answers the layer's certificate questions for the session, from whatever
// connection asks (also one made again after a drop, long after its connect
// ended): it lives as long as any connection holds the question, and says no
// once the session is gone.
class CertificateDesk {
public:
    explicit CertificateDesk(TWinInetFTP *session) : ftp(session) { }
    bool ask(const TlsCertificateFacts &facts)
    {
        std::lock_guard<std::mutex> lock(mutex);
        FtpThread *worker = FtpThread::current();
        if (!ftp || !worker)
            return false;
        return ftp->ask(worker, [this, worker, &facts] {
            return !worker->Terminated() && ftp->OnCertificate && ftp->OnCertificate(ftp, facts);
        }) && !worker->Terminated();
    }
    ServerKeyAnswer askHostKey(const ServerKeyFacts &facts)
    {
        std::lock_guard<std::mutex> lock(mutex);
        FtpThread *worker = FtpThread::current();
        ServerKeyAnswer answer = ServerKeyAnswer::Refuse;
        if (!ftp || !worker)
            return answer;
        ftp->ask(worker, [this, worker, &facts, &answer] {
            if (!worker->Terminated() && ftp->OnHostKey)
                answer = ftp->OnHostKey(ftp, facts);
            return true;
        });
        return worker->Terminated() ? ServerKeyAnswer::Refuse : answer;
    }
    bool askPassphrase(const std::string &keyFile, std::string &passphrase)
    {
        std::lock_guard<std::mutex> lock(mutex);
        FtpThread *worker = FtpThread::current();
        if (!ftp || !worker)
            return false;
        std::string typed;
        const bool given = ftp->ask(worker, [this, worker, &keyFile, &typed] {
            return !worker->Terminated() && ftp->OnKeyPassphrase
                && ftp->OnKeyPassphrase(ftp, keyFile, typed);
        }) && !worker->Terminated();
        if (given)
            passphrase = std::move(typed);
        return given;
    }
    void close()
    {
        std::lock_guard<std::mutex> lock(mutex);
        ftp = nullptr;
    }

private:
    std::mutex mutex;
    TWinInetFTP *ftp;
};

std::shared_ptr<CertificateDesk> TWinInetFTP::newCertificateDesk()
{
    return std::make_shared<CertificateDesk>(this);
}

std::function<bool(const TlsCertificateFacts &)> TWinInetFTP::certificateQuestion() const
{
    return [desk = certificateDesk](const TlsCertificateFacts &facts) { return desk->ask(facts); };
}

ServerKeyQuestion TWinInetFTP::hostKeyQuestion() const
{
    return
        [desk = certificateDesk](const ServerKeyFacts &facts) { return desk->askHostKey(facts); };
}

KeyPassphraseQuestion TWinInetFTP::passphraseQuestion() const
{
    return [desk = certificateDesk](const std::string &keyFile, std::string &passphrase) {
        return desk->askPassphrase(keyFile, passphrase);
    };
}

void TWinInetFTP::closeCertificateDesk()
{
    certificateDesk->close();
}

void TWinInetFTP::post(FtpThread *worker, std::function<void()> step)
{
    events.post(worker, std::move(step));
}

// A worker that was cancelled or replaced only winds up: what it still
// reports on the way interests nobody, and must not arrive late.
bool TWinInetFTP::dropsProgress(const FtpThread *worker) const
{
    return worker->Terminated() || isStale(worker);
}

void TWinInetFTP::postProgress(FtpThread *worker, std::function<void()> fire)
{
    events.post(worker, [this, worker, fire = std::move(fire)] {
        if (!dropsProgress(worker))
            fire();
    });
}

// The answer comes from the user-interface thread, after every event the
// worker posted before the question.
bool TWinInetFTP::ask(FtpThread *worker, const std::function<bool()> &question)
{
    if (onUiThread())
        return question();
    bool answer = false;
    std::mutex mutex;
    std::condition_variable answered;
    bool done = false;
    events.post(worker, [&] {
        const bool yes = question();
        std::lock_guard<std::mutex> lock(mutex);
        answer = yes;
        done = true;
        answered.notify_all();
    });
    std::unique_lock<std::mutex> lock(mutex);
    answered.wait(lock, [&] { return done; });
    return answer;
}

// One event per turn of the event loop, as if each were a posted event of
// its own: whatever a handler queues (a Cancel, a Connect) runs before the
// next event of the worker. A batching session takes what waits at once,
// for a short while, so the window stays responsive.
void TWinInetFTP::sendWake()
{
    QMetaObject::invokeMethod(
        this,
        [this] {
            events.woken();
            FtpEventQueue::Event event;
            if (!DeliversInBatches) {
                if (events.takeNext(event))
                    deliver(event);
                return;
            }
            constexpr qint64 kBatchNs = 2000000;
            QElapsedTimer batch;
            batch.start();
            QPointer<TWinInetFTP> alive(this);
            // A batch may run inside another one's handler (a question).
            const bool outer = std::exchange(batching, true);
            while (alive && batch.nsecsElapsed() < kBatchNs && events.takeNext(event))
                deliver(event);
            if (!alive)
                return;
            batching = outer;
            if (!outer && events.rearm())
                sendWake();
        },
        Qt::QueuedConnection);
}

// Runs the posted events in order. Called again from inside a handler (a
// nested event loop, Cancel), it stops at an event whose operation's handler
// is still on the stack, so no event overtakes the one being handled.
void TWinInetFTP::deliverPosted()
{
    FtpEventQueue::Event event;
    while (events.takeNext(event))
        deliver(event);
}

void TWinInetFTP::deliver(FtpEventQueue::Event &event)
{
    FtpThread *worker = event.operation;
    const int kind = worker->Kind;
    const quint64 savedOp = eventOperation;
    const bool savedStale = eventStale;
    eventOperation = worker->Operation;
    eventStale = isStale(worker);
    ++nested[kind];
    worker->enterHandOff();
    event.step();
    worker->leaveHandOff();
    --nested[kind];
    eventOperation = savedOp;
    eventStale = savedStale;
    if (!batching && events.rearm())
        sendWake();
}

void TWinInetFTP::FlushWritten(std::function<void()> done)
{
    QPointer<TWinInetFTP> self(this);
    if (!DownloadFile::anythingToFlush()) {
        if (done)
            done();
        return;
    }
    std::thread([self, done = std::move(done)] {
        DownloadFile::flushWritten();
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self, done] {
                if (self && done)
                    done();
            },
            Qt::QueuedConnection);
    }).detach();
}
