#pragma once

#include <string>

// One server reply: its three-digit code and its whole text, every line
// (multi-line replies included) ended by CR LF.
struct FtpReply {
    int code = 0;
    std::string text;

    bool preliminary() const { return code >= 100 && code < 200; }
    bool positive() const { return code >= 200 && code < 300; }
    bool intermediate() const { return code >= 300 && code < 400; }
    bool failed() const { return code >= 400; }
    // 421: the server is closing the control connection.
    bool closing() const { return code == 421; }
};
