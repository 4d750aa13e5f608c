#pragma once

#include "PurpleBridge.h"

#include <QObject>
#include <QString>

// The bridge's station-information object; its generated adaptor serves it as org.verbolt.StationInfo. The callsign
// is read afresh each time: it follows the conversation.
class BridgeStationInfo : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString Callsign READ callsign)
public:
    explicit BridgeStationInfo(PurpleBridge& bridge, QObject* parent = nullptr)
        : QObject(parent)
        , m_bridge(bridge)
    { }

    QString callsign() const { return m_bridge.callsign(); }

private:
    PurpleBridge& m_bridge;
};
