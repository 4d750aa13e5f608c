#pragma once

#include "FldigiBridge.h"

#include <QObject>
#include <QString>

// The bridge's station-information object; its generated adaptor serves it as org.verbolt.StationInfo. The callsign
// is read afresh each time: the operator may change it in fldigi.
class FldigiStationInfo : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString Callsign READ callsign)
public:
    explicit FldigiStationInfo(FldigiBridge& bridge, QObject* parent = nullptr)
        : QObject(parent)
        , m_bridge(bridge)
    { }

    QString callsign() const { return m_bridge.callsign(); }

private:
    FldigiBridge& m_bridge;
};
