#pragma once

#include <QByteArray>

#include <cstdint>

// The version block compiled into the running program, read from the program's own file.
// Nothing is cached: every call reads the file again.
class VersionInfo
{
public:
    virtual ~VersionInfo() = default;

    // The size of the version block in bytes; 0 when the program's file holds none or cannot be read.
    virtual std::uint32_t Size() = 0;

    // The version block, as Size counted it. False, and data left empty, when there is none or
    // it cannot be read.
    virtual bool Read(QByteArray& data) = 0;
};
