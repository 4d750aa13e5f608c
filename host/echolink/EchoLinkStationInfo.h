#pragma once

#include "EchoLinkBridge.h"

#include <QObject>
#include <QString>

// The bridge's station-information object; its generated adaptor serves it as org.verbolt.StationInfo.
class EchoLinkStationInfo : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString Callsign READ callsign)
public:
    explicit EchoLinkStationInfo(EchoLinkBridge& bridge, QObject* parent = nullptr)
        : QObject(parent)
        , m_bridge(bridge)
    { }

    /// The callsign Qtel logged in with; empty while Qtel is not connected.
    QString callsign() const { return m_bridge.callsign(); }

private:
    EchoLinkBridge& m_bridge;
};
