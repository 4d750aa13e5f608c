#pragma once

#include <QObject>
#include <QString>

// The reference host's station-information object; its generated adaptor serves it as org.verbolt.StationInfo.
class RefStationInfo : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString Callsign READ callsign CONSTANT)
public:
    explicit RefStationInfo(const QString& callsign, QObject* parent = nullptr)
        : QObject(parent)
        , m_callsign(callsign)
    { }

    QString callsign() const { return m_callsign; }

private:
    QString m_callsign;
};
