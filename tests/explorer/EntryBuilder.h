#pragma once

#include "ftp/FileTime.h"
#include "ftp/Win32FindData.h"

#include <QByteArray>
#include <QDate>
#include <QTime>

#include <cstring>

// Entry records as a listing delivers them, for the tests of the file list.
inline TWin32FindData makeEntry(const char *name, uint64_t size = 0, bool folder = false)
{
    TWin32FindData d {};
    std::strncpy(d.cFileName, name, sizeof d.cFileName - 1);
    d.dwFileAttributes = folder ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
    setFileSize(d, size);
    return d;
}

inline void setModified(TWin32FindData &d, const QDate &date, const QTime &time = QTime(12, 0))
{
    TSystemTime st;
    st.year = date.year();
    st.month = date.month();
    st.day = date.day();
    st.hour = time.hour();
    st.minute = time.minute();
    st.second = time.second();
    FileTime::fromSystemTime(st, d.ftLastWriteTime);
}

inline QDate modifiedDate(const TWin32FindData &d)
{
    const TSystemTime st = FileTime::toSystemTime(d.ftLastWriteTime);
    return QDate(st.year, st.month, st.day);
}

inline QTime modifiedTime(const TWin32FindData &d)
{
    const TSystemTime st = FileTime::toSystemTime(d.ftLastWriteTime);
    return QTime(st.hour, st.minute, st.second);
}
