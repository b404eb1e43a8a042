#pragma once

#include <QStringList>

// The server's last reply text, as the lines the message window shows: read
// into a bounded buffer, a carriage return ends a line, line feeds are
// dropped and a line keeps at most its first 127 characters.
struct ResponseCapture {
    bool gotText = false; // the layer returned at least one character
    int replyCode = 0; // the reply's three-digit code, 0 when none was read
    QStringList lines;

    // Reads the reply text of the calling thread's last request.
    static ResponseCapture take();
    // The line splitting alone, for text already at hand.
    static QStringList split(const char *text, size_t length);

    static constexpr unsigned BufferSize = 16000;
    static constexpr int MaxLine = 127;
};
