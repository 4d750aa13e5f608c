#include "StationInfoServer.h"

#include "chathostadaptor.h"

StationInfoServer::StationInfoServer(Callsign callsign, QObject* parent)
    : QObject(parent)
    , m_callsign(std::move(callsign))
{
    new StationInfoAdaptor(this);
}
