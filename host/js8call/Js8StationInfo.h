#pragma once

#include "Js8Bridge.h"

#include <QObject>
#include <QString>

// The bridge's station-information object; its generated adaptor serves it as org.verbolt.StationInfo.
class Js8StationInfo : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString Callsign READ callsign)
public:
    explicit Js8StationInfo(Js8Bridge& bridge, QObject* parent = nullptr)
        : QObject(parent)
        , m_bridge(bridge)
    { }

    QString callsign() const { return m_bridge.callsign(); }

private:
    Js8Bridge& m_bridge;
};
