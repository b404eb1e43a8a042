#include "transfers/ProgressTexts.h"

#include <algorithm>
#include <cmath>

namespace ProgressTexts {

int percentage(int64_t bytes, int64_t expected)
{
    if (expected <= 0 || bytes <= 0)
        return 0;
    if (bytes >= expected)
        return 100;
    // bytes < expected here, so the product fits in 128 bits and the quotient in an int.
    return int((static_cast<unsigned __int128>(bytes) * 100) / uint64_t(expected));
}

QString progressText(int percent, int64_t expected)
{
    return expected > 0 ? QString::number(percent) + QLatin1Char('%') : QStringLiteral("unknown");
}

QString completeText(int64_t bytes, int64_t expected, const QLocale &locale)
{
    // Grouped even where the locale leaves groups out by default.
    QLocale grouped = locale;
    grouped.setNumberOptions(locale.numberOptions() & ~QLocale::OmitGroupSeparator);
    const QString done = grouped.toString(qlonglong(bytes));
    if (expected > 0)
        return done + QStringLiteral(" bytes of ") + grouped.toString(qlonglong(expected));
    return done + QStringLiteral(" bytes received");
}

QString remainingTimeText(int hours, int minutes, int seconds)
{
    QString text;
    if (hours > 0)
        text = QString::number(hours) + QStringLiteral(" Hr");
    if (minutes > 0 || hours > 0) {
        if (!text.isEmpty())
            text += QLatin1Char(' ');
        text += QString::number(minutes) + QStringLiteral(" Min");
    }
    if (!text.isEmpty())
        text += QLatin1Char(' ');
    return text + QString::number(seconds) + QStringLiteral(" Sec");
}

QString remainingText(int percent, int64_t elapsedMs)
{
    constexpr int64_t kDayMs = 24LL * 3600 * 1000;
    if (percent < 1)
        return remainingTimeText(0, 0, 0);
    // Only the part beyond whole days is told; fmod first keeps the rounding in range.
    const double remaining
        = std::fmod(std::fabs(double(elapsedMs) * (100.0 / percent - 1.0)), double(kDayMs));
    const int64_t ms = std::llround(remaining) % kDayMs;
    const int64_t s = ms / 1000;
    return remainingTimeText(int(s / 3600), int(s / 60 % 60), int(s % 60));
}

QString timeText(int percent, int64_t expected, int64_t elapsedMs)
{
    if (percent >= 1)
        return QStringLiteral("Remaining: ") + remainingText(percent, elapsedMs);
    return expected > 0 ? QStringLiteral("Transfer starting...")
                        : QStringLiteral("Transferring...");
}

QString speedText(double bytesPerSecond)
{
    const double kb = std::max(0.0, bytesPerSecond) / 1024.0;
    if (kb < 1024.0)
        return QString::number(kb, 'f', 1) + QStringLiteral(" KB/s");
    return QString::number(kb / 1024.0, 'f', 1) + QStringLiteral(" MB/s");
}

QString timeText(int percent, int64_t expected, int64_t elapsedMs, double bytesPerSecond)
{
    const QString text = timeText(percent, expected, elapsedMs);
    if (bytesPerSecond < 0)
        return text;
    return text + QStringLiteral(" at ") + speedText(bytesPerSecond);
}

QString fileNameOf(const QString &source)
{
    const int cut
        = std::max(source.lastIndexOf(QLatin1Char('/')), source.lastIndexOf(QLatin1Char('\\')));
    return source.mid(cut + 1).toLower();
}

QString queueText(int files)
{
    return QString::number(files) + QStringLiteral(" file(s) in queue");
}

QString sizeText(int64_t bytes)
{
    if (bytes < 1024)
        return QString::number(std::max<int64_t>(0, bytes)) + QStringLiteral(" bytes");
    const char *units[] = { " KB", " MB", " GB", " TB" };
    double value = double(bytes) / 1024.0;
    int unit = 0;
    for (; value >= 1024.0 && unit < 3; ++unit)
        value /= 1024.0;
    return QString::number(value, 'f', 1) + QLatin1String(units[unit]);
}

QString runningText(int64_t bytes, int64_t expected, double bytesPerSecond)
{
    const QString done
        = expected > 0 ? progressText(percentage(bytes, expected), expected) : sizeText(bytes);
    if (bytesPerSecond < 0)
        return done;
    return done + QStringLiteral(" at ") + speedText(bytesPerSecond);
}

QString queueTotalText(int files, int64_t bytesLeft)
{
    return queueText(files) + QStringLiteral(", ") + sizeText(bytesLeft) + QStringLiteral(" left");
}

QString failureText(TWinInetError error)
{
    switch (error) {
    case errNoRights:
        return QStringLiteral("Access denied.");
    case errBadSaveFile:
        return QStringLiteral("The save file is invalid.");
    case errFileNotFound:
        return QStringLiteral("The requested file cannot be found.");
    // A transfer that ended short or was refused part way is no success.
    case errUnknown:
        return QStringLiteral("The transfer did not complete.");
    default:
        return QString();
    }
}

QString failureMessage(TWinInetError error, const QString &cause)
{
    const QString text = failureText(error);
    if (text.isEmpty())
        return text;
    return text + (cause.isEmpty() ? QString() : QLatin1Char(' ') + cause)
        + QStringLiteral("\r\rThe transfer has been terminated and the queue stopped.");
}

} // namespace ProgressTexts
