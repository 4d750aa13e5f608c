#pragma once

#include <QObject>
#include <QString>

#include <functional>

/// A bridge's station-information object on the session bus, served as org.verbolt.StationInfo at
/// ChatHostBus::stationInfoPath. The callsign is asked for afresh at each read: the operator may change it.
class StationInfoServer : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString Callsign READ callsign)
public:
    using Callsign = std::function<QString()>;

    explicit StationInfoServer(Callsign callsign, QObject* parent = nullptr);

    QString callsign() const { return m_callsign(); }

private:
    Callsign m_callsign;
};
