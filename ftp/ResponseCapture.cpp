#include "ftp/ResponseCapture.h"

#include "ftp/WinInet.h"

#include <memory>

ResponseCapture ResponseCapture::take()
{
    ResponseCapture result;
    auto buffer = std::make_unique<char[]>(BufferSize);
    DWORD length = BufferSize;
    DWORD error = 0;
    // A text longer than the buffer fails the call; it is then left out.
    const BOOL read = InternetGetLastResponseInfoA(&error, buffer.get(), &length);
    result.replyCode = int(error);
    if (!read)
        return result;
    if (length > BufferSize)
        length = BufferSize;
    result.gotText = length > 0;
    result.lines = split(buffer.get(), length);
    return result;
}

QStringList ResponseCapture::split(const char *text, size_t length)
{
    QStringList lines;
    QByteArray line;
    for (size_t i = 0; i < length; ++i) {
        const char c = text[i];
        if (c == '\r') {
            lines << QString::fromUtf8(line);
            line.clear();
        } else if (c != '\n' && line.size() < MaxLine) {
            line.append(c);
        }
    }
    if (!line.isEmpty())
        lines << QString::fromUtf8(line);
    return lines;
}
