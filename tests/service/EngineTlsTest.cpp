// HTTPS to a provider: a loopback TLS fake whose certificate a throwaway CA signed, made here with openssl. Trusted
// through cafile= it works; with the system's store alone, or for another host name, it is refused and says why.
#include "EngineSetup.h"
#include "FakeProviders.h"
#include "engines/LibreTranslateEngine.h"
#include "ServiceTestSupport.h"

#include <QFile>
#include <QProcess>
#include <QSslKey>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace servicetest;

namespace {

bool openssl(const QString& dir, const QStringList& arguments)
{
    QProcess process;
    process.setWorkingDirectory(dir);
    process.start(u"openssl"_qs, arguments);
    return process.waitForFinished(30000) && process.exitCode() == 0;
}

/// A CA and a server certificate it signed for subjectAltName, in dir.
bool makeCertificates(const QString& dir, const QString& subjectAltName)
{
    QFile extensions(dir + u"/ext.cnf"_qs);
    if (!extensions.open(QIODevice::WriteOnly))
        return false;
    extensions.write("subjectAltName=" + subjectAltName.toUtf8() + "\n");
    extensions.close();
    const QStringList ec{u"-newkey"_qs, u"ec"_qs, u"-pkeyopt"_qs, u"ec_paramgen_curve:prime256v1"_qs, u"-nodes"_qs};
    return openssl(dir,
               QStringList{u"req"_qs, u"-x509"_qs} + ec
                   + QStringList{u"-keyout"_qs, u"ca.key"_qs, u"-out"_qs, u"ca.pem"_qs, u"-days"_qs, u"2"_qs,
                       u"-subj"_qs, u"/CN=Verbolt throwaway CA"_qs})
        && openssl(dir,
            QStringList{u"req"_qs} + ec
                + QStringList{u"-keyout"_qs, u"server.key"_qs, u"-out"_qs, u"server.csr"_qs, u"-subj"_qs,
                    u"/CN=verbolt test server"_qs})
        && openssl(dir,
            {u"x509"_qs, u"-req"_qs, u"-in"_qs, u"server.csr"_qs, u"-CA"_qs, u"ca.pem"_qs, u"-CAkey"_qs, u"ca.key"_qs,
                u"-CAcreateserial"_qs, u"-out"_qs, u"server.pem"_qs, u"-days"_qs, u"2"_qs, u"-extfile"_qs,
                u"ext.cnf"_qs});
}

QByteArray read(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

struct TlsCase {
    const char* name;
    QString subjectAltName;
    bool trustCa;
    QString error; ///< empty: the translation comes through; "{url}": the fake's address
};

const QList<TlsCase> kTls = {
    {"trustedThroughCaFile", u"IP:127.0.0.1"_qs, true, {}},
    {"systemStoreAlone", u"IP:127.0.0.1"_qs, false,
        u"LibreTranslate at {url}: certificate refused: The issuer certificate of a locally looked up certificate "
        "could not be found"_qs},
    {"anotherHostsCertificate", u"DNS:translate.example.org"_qs, true,
        u"LibreTranslate at {url}: certificate refused: The host name did not match any of the valid hosts for this "
        "certificate"_qs},
};

class EngineTls : public ::testing::TestWithParam<TlsCase>
{
};

} // namespace

TEST_P(EngineTls, checksTheCertificate)
{
    const TlsCase& c = GetParam();
    QTemporaryDir dir;
    ASSERT_TRUE(makeCertificates(dir.path(), c.subjectAltName));
    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    tls.setLocalCertificate(QSslCertificate(read(dir.filePath(u"server.pem"_qs))));
    tls.setPrivateKey(QSslKey(read(dir.filePath(u"server.key"_qs)), QSsl::Ec));
    FakeHttpServer fake(&tls);
    fake.handler = libreTranslate({}, {u"en"_qs, u"de"_qs});

    // The way a user trusts a private CA: cafile= in the engine's section.
    QFile conf(dir.filePath(u"verbolt-service.conf"_qs));
    ASSERT_TRUE(conf.open(QIODevice::WriteOnly));
    conf.write("[routing]\norder=libretranslate\n[libretranslate]\nurl=" + fake.url().toEncoded() + "\n"
        + (c.trustCa ? "cafile=ca.pem\n" : ""));
    conf.close();
    QString error;
    const auto config = service::ServiceConfig::load(conf.fileName(), {}, &error);
    ASSERT_TRUE(config) << error;
    service::EngineSetup setup(*config, {});

    const auto result = translateWith(setup.router(), u"Hello"_qs, u"en"_qs, u"de"_qs);
    if (c.error.isEmpty()) {
        EXPECT_EQ(result.text, u"[de] Hello"_qs) << result.error;
    } else {
        EXPECT_EQ(result.status, service::TranslationResult::Status::Failed);
        EXPECT_EQ(result.error, QString(c.error).replace(u"{url}"_qs, fake.url().toString()));
    }
}

INSTANTIATE_TEST_SUITE_P(Certificates, EngineTls, ::testing::ValuesIn(kTls), CaseName());
