#include "VersionRecord.h"
#include "QtPrinters.h"

#include <gtest/gtest.h>

TEST(VersionRecord, CarriesTheBuildsProductNameAndVersion)
{
    const VersionRecord record = VersionRecord::read();
    EXPECT_EQ(record.productName, QStringLiteral("*** Dolmex "));
    EXPECT_EQ(record.versionText(), QStringLiteral("1.0.2"));
}
