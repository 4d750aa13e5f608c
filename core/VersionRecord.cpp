#include "VersionRecord.h"

#include <QStringList>

QString VersionRecord::versionText() const
{
    return QStringLiteral("%1.%2.%3").arg(major).arg(minor).arg(revision);
}

VersionRecord VersionRecord::read()
{
    // The build writes both into the binary; they are parsed here rather than typed into the procedures.
    VersionRecord record;
    record.productName = QString::fromUtf8(VERBOLT_PRODUCT_NAME);
    const QStringList parts = QString::fromUtf8(VERBOLT_VERSION).split(u'.');
    record.major = parts.value(0).toInt();
    record.minor = parts.value(1).toInt();
    record.revision = parts.value(2).toInt();
    return record;
}
