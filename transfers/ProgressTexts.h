#pragma once

#include "ftp/WinInetFTP.h"

#include <QLocale>
#include <QString>

#include <cstdint>

// The texts of the transfer panel and of a transfer's end, each a function
// of plain numbers. Byte counts are 64-bit throughout.
namespace ProgressTexts {

// Whole percent of the expected size, at most 100; 0 when the size is unknown.
int percentage(int64_t bytes, int64_t expected);

// "25%", or "unknown" without an expected size.
QString progressText(int percent, int64_t expected);
// "250,000 bytes of 1,000,000", or "250,000 bytes received" without an expected size.
QString completeText(int64_t bytes, int64_t expected, const QLocale &locale);

// "1 Hr 0 Min 5 Sec", "2 Min 30 Sec", "45 Sec".
QString remainingTimeText(int hours, int minutes, int seconds);
// Time still needed at this pace, within one day: the whole days are dropped.
QString remainingText(int percent, int64_t elapsedMs);
// "Remaining: …" once a percent is done; before that a state text.
QString timeText(int percent, int64_t expected, int64_t elapsedMs);

// "850.5 KB/s", "12.3 MB/s".
QString speedText(double bytesPerSecond);
// The time text with the speed beside it, when the speed is known.
QString timeText(int percent, int64_t expected, int64_t elapsedMs, double bytesPerSecond);

// The part of a path after its last "/" or "\", lower-cased.
QString fileNameOf(const QString &source);
// "3 file(s) in queue".
QString queueText(int files);

// "512 bytes", "1.5 KB", "12.5 MB", "3.2 GB".
QString sizeText(int64_t bytes);
// One line of several running transfers: "45% at 1.2 MB/s"; without an
// expected size the bytes done, without a known speed no "at".
QString runningText(int64_t bytes, int64_t expected, double bytesPerSecond);
// The queue total under several running transfers: "5 file(s) in queue, 12.5 MB left".
QString queueTotalText(int files, int64_t bytesLeft);

// The failure text of a transfer's result code, empty for codes that have none.
QString failureText(TWinInetError error);
// The failure text, then its `cause` (a sentence) where one is known, then
// the sentence that says the queue stopped; empty when the code has no text.
QString failureMessage(TWinInetError error, const QString &cause = QString());

} // namespace ProgressTexts
