#pragma once

#include <QHash>
#include <QList>
#include <QProcessEnvironment>
#include <QSslCertificate>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <optional>

namespace service {

/// One engine as the configuration sets it up.
struct EngineSettings {
    QString id; ///< "phrasebook", "apertium", "deepl", "google", "libretranslate", "llm"
    QUrl url; ///< empty: the engine's own default
    QString key;
    QString model;
    int timeoutMs = 10000;
    QList<QSslCertificate> caCertificates;
};

/// The engines verbolt-service uses, read from its INI file ($XDG_CONFIG_HOME/verbolt-service.conf):
///
///     [routing]      order=phrasebook,apertium,deepl,google,libretranslate,llm   timeout=10 (s)   cache=8M
///     [phrasebook]   enabled=no turns the QSO phrasebook off
///     [apertium]     timeout=
///     [deepl]        key=  url=  timeout=  cafile=
///     [google]       key=  url=  timeout=  cafile=
///     [libretranslate]  url=  key=  timeout=  cafile=
///     [llm]          url=  model=  key=  timeout=  cafile=
///
/// VERBOLT_DEEPL_KEY, VERBOLT_GOOGLE_KEY, VERBOLT_LIBRETRANSLATE_KEY and VERBOLT_LLM_KEY override the keys. A
/// section without what its engine needs is left out with a note; a value that cannot be right is an error.
class ServiceConfig
{
public:
    /// $XDG_CONFIG_HOME/verbolt-service.conf, or ~/.config/verbolt-service.conf.
    static QString defaultPath(const QProcessEnvironment& env);

    /// Reads path, or the default path when it is empty (there a missing file means Apertium alone).
    /// overrides: "section/key" -> value, taken before the file's. Returns nothing and sets error on a file that
    /// cannot be read or a value that cannot be right.
    static std::optional<ServiceConfig> load(const QString& path, const QProcessEnvironment& env, QString* error,
        const QHash<QString, QString>& overrides = {});

    /// The file read or looked for, and the same with ~ for the home folder (for messages).
    QString path;
    QString shownPath;
    bool fileFound = false;
    /// The engines in use, in the order they are tried.
    QList<EngineSettings> engines;
    qsizetype cacheBytes = 8 * 1024 * 1024;
    /// The phrasebook's TMX files, read in order (later ones win): the shipped one, then the user's
    /// $XDG_DATA_HOME/verbolt/phrasebook/*.tmx.
    QStringList phrasebookFiles;
    /// For the log: sections left out and why, unknown keys, a file others can read.
    QStringList notes;
};

} // namespace service
