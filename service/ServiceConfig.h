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
    QString id; ///< "phrasebook", "apertium", "mymemory", "deepl", "google", "libretranslate", "llm"
    QUrl url; ///< empty: the engine's own default
    QString key;
    QString model;
    QString email; ///< [mymemory]: sent as de=, for its larger daily quota
    std::optional<double> temperature; ///< [llm]: sent only when set
    int timeoutMs = 10000;
    QList<QSslCertificate> caCertificates;
};

/// Whether an engine of the file is on and has what it needs, for the settings dialog.
struct EngineState {
    QString id;
    bool enabled = true; ///< not turned off with enabled=no, and in [routing] order= when that is given
    bool ready = false; ///< has what it needs (a key, an address, a model)
    QString why; ///< why not ready, in words
    QUrl url; ///< the address set up; empty: the engine's own
    bool hasKey = false; ///< a key is set up (in the file or the environment)
};

/// The engines verbolt-service uses, read from its INI file ($XDG_CONFIG_HOME/verbolt-service.conf):
///
///     [routing]      order=phrasebook,apertium,mymemory,deepl,google,libretranslate,llm   timeout=10 (s)
///                    cache=8M (bytes, K, M)
///     [phrasebook]   enabled=
///     [apertium]     enabled=  timeout=
///     [mymemory]     enabled=  email=  url=  timeout=  cafile=
///     [deepl]        enabled=  key=  url=  timeout=  cafile=
///     [google]       enabled=  key=  url=  timeout=  cafile=
///     [libretranslate]  enabled=  url=  key=  timeout=  cafile=
///     [llm]          enabled=  url=  model=  key=  temperature=  timeout=  cafile=
///
/// Phrasebook, Apertium and MyMemory need nothing and are on unless enabled=no; the others once their section is
/// there.
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
    /// Every engine the file may name: those in use in their order, then the others in the default order.
    QList<EngineState> states;
    /// Every engine id, in the default order.
    static const QStringList& engineIds();
    /// The lines of a settings file as QSettings reads them, and the engines dialog too: CR, LF and CR LF each end
    /// a line.
    static QStringList lines(const QString& text);
    qsizetype cacheBytes = 8 * 1024 * 1024;
    /// The phrasebook's TMX files, read in order (later ones win): the shipped one, then the user's
    /// $XDG_DATA_HOME/verbolt/phrasebook/*.tmx.
    QStringList phrasebookFiles;
    /// For the log: sections left out and why, unknown keys, a file others can read.
    QStringList notes;
};

} // namespace service
