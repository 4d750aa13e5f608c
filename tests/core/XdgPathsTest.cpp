#include "XdgPaths.h"
#include "QtPrinters.h"

#include <gtest/gtest.h>

#include <unistd.h>

namespace {

using namespace Qt::StringLiterals;

struct XdgCase {
    const char* name;
    const char* value; ///< nullptr: unset
    QString config;
    QString data;
    QString runtime;
    friend void PrintTo(const XdgCase& c, std::ostream* os) { *os << c.name; }
};

class XdgPathsTable : public ::testing::TestWithParam<XdgCase>
{
};

// The same value in all three variables: each is taken, or each falls back to its own default.
TEST_P(XdgPathsTable, TakesOnlyAnAbsoluteValue)
{
    const XdgCase& c = GetParam();
    QProcessEnvironment env;
    env.insert(u"HOME"_s, u"/home/ea1abc"_s);
    if (c.value) {
        for (const char* name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_RUNTIME_DIR"})
            env.insert(QString::fromLatin1(name), QString::fromUtf8(c.value));
    }
    EXPECT_EQ(XdgPaths::configHome(env), c.config);
    EXPECT_EQ(XdgPaths::dataHome(env), c.data);
    EXPECT_EQ(XdgPaths::runtimeDir(env), c.runtime.arg(::getuid()));
}

const QString kConfig = u"/home/ea1abc/.config"_s;
const QString kData = u"/home/ea1abc/.local/share"_s;
const QString kRuntime = u"/run/user/%1"_s;

INSTANTIATE_TEST_SUITE_P(Values, XdgPathsTable,
    ::testing::Values(XdgCase{"Unset", nullptr, kConfig, kData, kRuntime},
        XdgCase{"Empty", "", kConfig, kData, kRuntime},
        // A relative value is ignored, not read against the working directory.
        XdgCase{"Relative", "cfg", kConfig, kData, kRuntime}, XdgCase{"DotRelative", "./cfg", kConfig, kData, kRuntime},
        XdgCase{"Absolute", "/srv/x", u"/srv/x"_s, u"/srv/x"_s, u"/srv/x"_s},
        XdgCase{"TrailingSlash", "/srv/x/", u"/srv/x"_s, u"/srv/x"_s, u"/srv/x"_s}),
    CaseName());

TEST(XdgPaths, HomeFallsBackToTheAccountsWhenUnset)
{
    EXPECT_EQ(XdgPaths::configHome(QProcessEnvironment()), XdgPaths::home(QProcessEnvironment()) + u"/.config"_s);
    EXPECT_FALSE(XdgPaths::home(QProcessEnvironment()).isEmpty());
}

} // namespace
