#pragma once

#include <QString>

/// The program's product name and version, as the build recorded them.
struct VersionRecord {
    QString productName;
    int major = 0;
    int minor = 0;
    int revision = 0;

    /// major.minor.revision
    QString versionText() const;

    static VersionRecord read();
};
