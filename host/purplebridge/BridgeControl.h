#pragma once

#include <QDBusContext>
#include <QLatin1String>
#include <QObject>

class PurpleBridge;

/// The bridge's own object, beside the chat host's: a second verbolt-purple started with --conversation asks the
/// running one to follow that conversation through it, then ends.
class BridgeControl : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.verbolt.PurpleBridge")
public:
    static constexpr QLatin1String objectPath{"/org/verbolt/PurpleBridge"};
    static constexpr QLatin1String interfaceName{"org.verbolt.PurpleBridge"};

    explicit BridgeControl(PurpleBridge& bridge, QObject* parent = nullptr);

public slots:
    /// Follows the named conversation: at once if it is open, else as soon as it opens. An empty name is refused.
    Q_SCRIPTABLE void Follow(const QString& conversation);

private:
    PurpleBridge& m_bridge;
};
